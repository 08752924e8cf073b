#include "support/SystemInfo.h"

namespace {

IsWow64ProcessFn InitIsWow64ProcessPointer() {
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel)
        return nullptr;
    return reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
}

} // namespace

IsWow64ProcessFn pfnIsWow64Process = InitIsWow64ProcessPointer();

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool IsVistaOrLater() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info))
        return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}
#pragma GCC diagnostic pop

uint32_t IsElevated(bool* elevated) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return E_FAIL;
    uint32_t result = E_FAIL;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) {
        bool isElevated = elevation.TokenIsElevated != 0;
        result = isElevated ? 0 : 1;
        if (elevated)
            *elevated = isElevated;
    }
    CloseHandle(token);
    return result;
}

uint32_t GetElevationType(TOKEN_ELEVATION_TYPE* out) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return E_FAIL;
    DWORD size = 0;
    BOOL ok = GetTokenInformation(token, TokenElevationType, out, sizeof(*out), &size);
    CloseHandle(token);
    return ok ? 0 : E_FAIL;
}

bool IsWow64() {
    if (!pfnIsWow64Process)
        return false;
    BOOL wow64 = FALSE;
    if (!pfnIsWow64Process(GetCurrentProcess(), &wow64))
        return false;
    return wow64 != FALSE;
}
