#include "support/TextConversion.h"

#include <windows.h>

namespace {

constexpr int kBufferSize = 512;

std::wstring MultiByteToWide(UINT codePage, const char* text) {
    wchar_t buffer[kBufferSize];
    int written = MultiByteToWideChar(codePage, 0, text, -1, buffer, kBufferSize);
    if (written == 0)
        return std::wstring();
    return std::wstring(buffer);
}

} // namespace

std::wstring AnsiToWide(const char* text) { return MultiByteToWide(CP_ACP, text); }

std::wstring Utf8ToWide(const char* text) { return MultiByteToWide(CP_UTF8, text); }

std::string WideToUtf8(const std::wstring& text) {
    char buffer[kBufferSize];
    int written = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      buffer, kBufferSize, nullptr, nullptr);
    if (written <= 0)
        return std::string();
    return std::string(buffer, static_cast<size_t>(written));
}

std::string LastErrorText() {
    DWORD code = GetLastError();
    if (code == 0)
        return std::string();
    char* message = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message),
        0, nullptr);
    std::string text;
    if (length > 0 && message)
        text.assign(message, length);
    if (message)
        LocalFree(message);
    return text;
}
