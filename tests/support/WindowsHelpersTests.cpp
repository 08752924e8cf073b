#include "support/PluginPath.h"
#include "support/SystemInfo.h"
#include "support/TextConversion.h"
#include "support/WindowSubclass.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::wstring OwnFolder() {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return DirectoryOf(buffer);
}

TEST(DirectoryOfTest, CutsAtTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(DirectoryOf(L"C:\\a/b\\c.ini"), L"C:\\a/b");
    EXPECT_EQ(DirectoryOf(L"C:/a\\b/c.ini"), L"C:/a\\b");
    EXPECT_EQ(DirectoryOf(L"C:\\folder\\"), L"C:\\folder");
    EXPECT_EQ(DirectoryOf(L"file.ini"), L"file.ini");
    EXPECT_EQ(DirectoryOf(L""), L"");
}

TEST(PluginPathTest, IsTheFolderOfTheModuleThatHoldsTheCode) {
    // A stale error code from an earlier call must not count as a failure.
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetPluginPath(), OwnFolder());
}

TEST(TextConversionTest, WideToUtf8FitsUpTo512Bytes) {
    EXPECT_EQ(WideToUtf8(std::wstring(500, L'a')), std::string(500, 'a'));
    EXPECT_EQ(WideToUtf8(std::wstring(600, L'a')), "") << "too long comes out empty, never cut";
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(WideToUtf8(L"Caf\u00e9 \u2708"), "Caf\xc3\xa9 \xe2\x9c\x88");
}

TEST(TextConversionTest, NarrowToWide) {
    EXPECT_EQ(AnsiToWide(""), L"");
    EXPECT_EQ(AnsiToWide("Cessna 172"), L"Cessna 172");
    EXPECT_EQ(Utf8ToWide("Caf\xc3\xa9"), L"Caf\u00e9");
    EXPECT_EQ(Utf8ToWide(std::string(600, 'x').c_str()), L"");
    EXPECT_EQ(Utf8ToWide(std::string(511, 'x').c_str()), std::wstring(511, L'x'));
}

TEST(TextConversionTest, LastErrorText) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LastErrorText(), "");
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::string text = LastErrorText();
    EXPECT_FALSE(text.empty());
}

TEST(SystemInfoTest, VersionElevationAndWow64) {
    EXPECT_TRUE(IsVistaOrLater());
    EXPECT_FALSE(IsWow64()) << "a 64-bit process never runs under WOW64";

    bool elevated = false;
    uint32_t code = IsElevated(&elevated);
    ASSERT_TRUE(code == 0 || code == 1);
    EXPECT_EQ(code == 0, elevated);
    EXPECT_EQ(IsElevated(nullptr), code);

    TOKEN_ELEVATION_TYPE type{};
    EXPECT_EQ(GetElevationType(&type), 0u);
}

// The two ways a user can start a program: the tests' own token is elevated
// under Wine, the launcher hands the child the limited linked token.
class LaunchModeTest : public ::testing::Test {
protected:
    DWORD RunProbe(const std::wstring& launcherArgs) {
        std::wstring folder = OwnFolder();
        std::wstring commandLine = L"\"" + folder + L"\\run_as_user.exe\" " + launcherArgs +
                                   L"\"" + folder + L"\\elevation_probe.exe\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            return 0xFFFFFFFF;
        WaitForSingleObject(process.hProcess, 60000);
        DWORD exitCode = 0xFFFFFFFF;
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return exitCode;
    }
};

TEST_F(LaunchModeTest, DefaultStartsTheChildNotElevated) { EXPECT_EQ(RunProbe(L""), 1u); }

TEST_F(LaunchModeTest, ElevatedFlagStartsTheChildElevated) {
    EXPECT_EQ(RunProbe(L"--elevated "), 0u);
}

LRESULT CALLBACK OriginalProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 1)
        return 7;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowSubclassTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = OriginalProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BkfSubclassTestWindow";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                 100, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }

    HWND window = nullptr;
};

TEST_F(WindowSubclassTest, HandlerSeesMessagesAndDetachRestoresTheOldProcedure) {
    WindowSubclass subclass;
    EXPECT_EQ(subclass.Detach(), nullptr) << "never attached";

    int seen = 0;
    subclass.handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_USER + 1) {
            ++seen;
            return 42;
        }
        return CallWindowProcW(subclass.previous, hwnd, message, wParam, lParam);
    };
    subclass.Attach(window);
    EXPECT_EQ(SendMessageW(window, WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&subclass));

    EXPECT_EQ(subclass.Detach(), window);
    EXPECT_EQ(SendMessageW(window, WM_USER + 1, 0, 0), 7);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 0);
    EXPECT_EQ(subclass.Detach(), nullptr) << "a second detach changes nothing";
}

TEST_F(WindowSubclassTest, WithoutHandlerMessagesGoToThePreviousProcedure) {
    WindowSubclass subclass;
    subclass.tag = 5;
    subclass.Attach(window);
    EXPECT_EQ(SendMessageW(window, WM_USER + 1, 0, 0), 7);
    WindowSubclass copy = subclass;
    EXPECT_EQ(copy.tag, 5u);
    EXPECT_EQ(copy.previous, subclass.previous);
    subclass.Detach();
}

} // namespace
