#include "support/Win32Handles.h"
#include "support/WindowSubclass.h"
#include "ui/UiText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

namespace {

TEST(ElideFrontTest, KeepsTextsUpToTheLimitWhole) {
    EXPECT_EQ(ElideFront("", 27), "");
    EXPECT_EQ(ElideFront(std::string(27, 'x'), 27), std::string(27, 'x'));
}

TEST(ElideFrontTest, LongerTextsKeepTheirEndBehindAnEllipsis) {
    const std::string text = "ABCDEF" + std::string(24, 'z');
    ASSERT_EQ(text.size(), 30u);
    const std::string shown = ElideFront(text, 27);
    EXPECT_EQ(shown, "..." + std::string(24, 'z'));
    EXPECT_EQ(shown.size(), 27u);
    EXPECT_EQ(ElideFront(std::string(27, 'a') + "b", 27), "..." + std::string(23, 'a') + "b");
}

TEST(LocalToWideTest, ConvertsTextsOfAnyLength) {
    EXPECT_EQ(LocalToWide(""), L"");
    EXPECT_EQ(LocalToWide("COM10"), L"COM10");
    // Longer than the fixed 512-character buffers of the other conversions.
    EXPECT_EQ(LocalToWide(std::string(2000, 'q')), std::wstring(2000, L'q'));
}

TEST(LocalToWideTest, ReadsTheLocalCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "local code page is " << GetACP();
    EXPECT_EQ(LocalToWide("Caf\xE9 \x80"), L"Caf\u00E9 \u20AC");
}

// A plain top-level window of a class whose procedure answers WM_USER + 1 with 7.
class HelperWindowTest : public ::testing::Test {
protected:
    static LRESULT CALLBACK OriginalProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_USER + 1)
            return 7;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    static HWND MakeWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = OriginalProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BkfUiHelperWindow";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, wc.hInstance, nullptr);
    }

    static WindowSubclass::Handler Answer(LRESULT value) {
        return [value](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
            return message == WM_USER + 1 ? value : 0;
        };
    }
};

TEST_F(HelperWindowTest, UniqueWindowDestroysItsWindowOnceAfterMoves) {
    HWND raw = MakeWindow();
    ASSERT_NE(raw, nullptr);
    {
        UniqueWindow first(raw);
        UniqueWindow second(std::move(first));
        EXPECT_EQ(first.get(), nullptr);
        EXPECT_EQ(second.get(), raw);
        UniqueWindow third;
        third = std::move(second);
        EXPECT_TRUE(IsWindow(raw));
    }
    EXPECT_FALSE(IsWindow(raw));
}

TEST_F(HelperWindowTest, DestroyedSubclassGivesTheWindowBackItsProcedure) {
    UniqueWindow window(MakeWindow());
    {
        WindowSubclass subclass;
        subclass.handler = Answer(42);
        subclass.Attach(window.get());
        EXPECT_EQ(SendMessageW(window.get(), WM_USER + 1, 0, 0), 42);
    }
    EXPECT_EQ(SendMessageW(window.get(), WM_USER + 1, 0, 0), 7);
    EXPECT_EQ(GetWindowLongPtrW(window.get(), GWLP_USERDATA), 0);
}

TEST_F(HelperWindowTest, DestroyedCopyLeavesTheOriginalAttached) {
    UniqueWindow window(MakeWindow());
    WindowSubclass subclass;
    subclass.handler = Answer(42);
    subclass.Attach(window.get());
    { WindowSubclass copy = subclass; }
    EXPECT_EQ(SendMessageW(window.get(), WM_USER + 1, 0, 0), 42);
    EXPECT_TRUE(subclass.IsAttachedHere());
}

TEST_F(HelperWindowTest, AssigningToAnAttachedSubclassDetachesItsWindow) {
    UniqueWindow first(MakeWindow());
    UniqueWindow second(MakeWindow());
    WindowSubclass target;
    target.handler = Answer(1);
    target.Attach(first.get());
    WindowSubclass source;
    source.handler = Answer(2);
    source.Attach(second.get());

    target = source;
    EXPECT_EQ(SendMessageW(first.get(), WM_USER + 1, 0, 0), 7);
    EXPECT_EQ(SendMessageW(second.get(), WM_USER + 1, 0, 0), 2);
    EXPECT_FALSE(target.IsAttachedHere());
}

} // namespace
