#pragma once

// Texts for the window controls: narrow texts in the local code page, and the
// shortening of long cell texts.

#include <windows.h>

#include <cstddef>
#include <string>

// Throws std::runtime_error when the text does not convert.
std::wstring LocalToWide(const std::string& text);

// SetWindowTextW with the text converted by LocalToWide.
void SetWindowTextLocal(HWND window, const std::string& text);

// A text longer than limit becomes "..." followed by its end, limit characters
// in all, so the end stays visible.
std::string ElideFront(const std::string& text, size_t limit);
