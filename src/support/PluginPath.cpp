#include "support/PluginPath.h"

#include "support/Logger.h"
#include "support/TextConversion.h"

#include <windows.h>

#include <exception>
#include <vector>

extern "C" void dummy_func() {}

namespace {

// std::exception carries no message of its own; the start-up failure box
// shows what() of what it catches.
class PluginPathError : public std::exception {
public:
    explicit PluginPathError(const char* what) : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;
};

} // namespace

std::wstring GetPluginPath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&dummy_func), &module))
        throw PluginPathError("GetModuleHandleEx failed");

    const DWORD capacity = 10240;
    std::vector<wchar_t> buffer(capacity, L'\0');
    // Only this call's own outcome counts, never an error left by an earlier one;
    // a name that fills the whole buffer was cut short.
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
    if (length == 0 || length >= capacity)
        throw PluginPathError("GetModuleFileName failed");

    std::wstring fileName(buffer.data(), length);
    if (gLogger)
        gLogger->Trace("Plugin path is %s", WideToUtf8(fileName).c_str());
    return DirectoryOf(fileName);
}

std::wstring DirectoryOf(const std::wstring& path) {
    if (path.empty())
        return path;
    size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return path;
    return path.substr(0, separator);
}
