#include "support/ShellLaunch.h"

#include <shellapi.h>

BOOL ShellExecuteWithVerb(HWND hwnd, const wchar_t* verb, const wchar_t* file,
                          const wchar_t* parameters, const wchar_t* directory) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = 0;
    info.hwnd = hwnd;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info);
}

BOOL RunElevated(HWND hwnd, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory) {
    return ShellExecuteWithVerb(hwnd, L"runas", file, parameters, directory);
}
