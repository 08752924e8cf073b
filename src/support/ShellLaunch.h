#pragma once

#include <windows.h>

BOOL ShellExecuteWithVerb(HWND hwnd, const wchar_t* verb, const wchar_t* file,
                          const wchar_t* parameters, const wchar_t* directory);

// Starts the file with the "runas" verb.
BOOL RunElevated(HWND hwnd, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory);
