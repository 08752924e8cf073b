// run_as_user [--elevated] <command line>
//
// Starts the command line, waits for it and exits with its exit code. By
// default the child runs as a normal user would start it: when this process is
// elevated, the child gets the token's limited linked token. With --elevated
// the child gets the full token instead.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

// The raw command line after our own program name and options.
std::wstring ChildCommandLine(bool& wantElevated) {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p && !std::iswspace(*p))
            ++p;
    }
    while (*p && std::iswspace(*p))
        ++p;
    const wchar_t flag[] = L"--elevated";
    const size_t flagLength = std::wcslen(flag);
    wantElevated = false;
    if (std::wcsncmp(p, flag, flagLength) == 0 && (p[flagLength] == 0 || std::iswspace(p[flagLength]))) {
        wantElevated = true;
        p += flagLength;
        while (*p && std::iswspace(*p))
            ++p;
    }
    return p;
}

// The linked token as a primary token, or null.
HANDLE LinkedPrimaryToken(HANDLE own) {
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &size))
        return nullptr;
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                          TokenPrimary, &primary))
        primary = nullptr;
    CloseHandle(linked.LinkedToken);
    return primary;
}

} // namespace

int wmain() {
    bool wantElevated = false;
    std::wstring commandLine = ChildCommandLine(wantElevated);
    if (commandLine.empty()) {
        fwprintf(stderr, L"usage: run_as_user [--elevated] <command line>\n");
        return 2;
    }

    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                          &own)) {
        fwprintf(stderr, L"run_as_user: cannot open own token (%lu)\n", GetLastError());
        return 2;
    }
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    GetTokenInformation(own, TokenElevationType, &type, sizeof(type), &size);

    // Only a split token has the other half to switch to.
    bool switchToken = (!wantElevated && type == TokenElevationTypeFull) ||
                       (wantElevated && type == TokenElevationTypeLimited);
    HANDLE childToken = nullptr;
    if (switchToken) {
        childToken = LinkedPrimaryToken(own);
        if (!childToken) {
            fwprintf(stderr, L"run_as_user: cannot get the linked token (%lu)\n", GetLastError());
            CloseHandle(own);
            return 2;
        }
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    BOOL started = childToken
                       ? CreateProcessAsUserW(childToken, nullptr, &commandLine[0], nullptr, nullptr,
                                              FALSE, 0, nullptr, nullptr, &startup, &process)
                       : CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    DWORD startError = GetLastError();
    if (childToken)
        CloseHandle(childToken);
    CloseHandle(own);
    if (!started) {
        fwprintf(stderr, L"run_as_user: cannot start %ls (%lu)\n", commandLine.c_str(), startError);
        return 2;
    }

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
