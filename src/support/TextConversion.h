#pragma once

#include <string>

// Conversions through fixed buffers (512 characters): a text that does not fit,
// or does not convert, comes out empty rather than cut.
std::wstring AnsiToWide(const char* text);
std::wstring Utf8ToWide(const char* text);
std::string WideToUtf8(const std::wstring& text);

// The system's text for GetLastError(), with its own line end; empty for no error.
std::string LastErrorText();
