#include "ui/UiText.h"

#include <stdexcept>
#include <vector>

namespace {

constexpr char kEllipsis[] = "...";
constexpr size_t kEllipsisLength = sizeof(kEllipsis) - 1;

[[noreturn]] void ThrowConversionError() {
    throw std::runtime_error("Unable to convert string from local code page to Unicode");
}

} // namespace

std::wstring LocalToWide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    if (text.size() > static_cast<size_t>(INT_MAX))
        ThrowConversionError();
    const int length = static_cast<int>(text.size());
    const int measured = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (measured <= 0)
        ThrowConversionError();
    std::vector<wchar_t> buffer(static_cast<size_t>(measured) + 1, L'\0');
    const int converted =
        MultiByteToWideChar(CP_ACP, 0, text.data(), length, buffer.data(), measured + 1);
    if (converted <= 0)
        ThrowConversionError();
    return std::wstring(buffer.data(), static_cast<size_t>(converted));
}

void SetWindowTextLocal(HWND window, const std::string& text) {
    SetWindowTextW(window, LocalToWide(text).c_str());
}

std::string ElideFront(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    const size_t kept = limit > kEllipsisLength ? limit - kEllipsisLength : 0;
    return kEllipsis + text.substr(text.size() - kept);
}
