// The window with one device whose unit id is -1, and the keys while the
// focus sits on the reload button.
#include <gtest/gtest.h>

#include <memory>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

const char kCommandMap[] = "[Brackenfold-WayfinderX#CN1]\n"
                           "BTN_P+ = EV_PRESS#3\n";

std::vector<HWND> ButtonHandles(const std::vector<Row>& rows) {
    std::vector<HWND> handles;
    for (const Row& row : rows)
        for (const Control& button : row.buttons)
            handles.push_back(button.hwnd);
    return handles;
}

} // namespace

class FocusedReloadButton : public NavigatorRun<FocusedReloadButton> {
public:
    static void Start() {
        ProgramSetup setup;
        setup.globalMap = kCommandMap;
        StartRun(setup, -1, "1.0", "0F");
        // Settled: the device registered and the window has the focus. A click made
        // while the program was still starting did not always leave the focus on the
        // button.
        nav->WaitForCount("|", 1);
        WindowDriver window(main);
        WaitUntil([&] { return window.Focus() == main; });
    }

protected:
    // Clicks the reload button and waits until the device got its next ready line; the
    // button then has the focus.
    static void Reload() {
        WindowDriver window(main);
        size_t ready = nav->Count("|");
        window.ClickReload();
        ASSERT_TRUE(nav->WaitForCount("|", ready + 1)) << "the reload did not register again";
        ASSERT_TRUE(WaitUntil([&] { return window.Focus() == window.ReloadButton().hwnd; }, 5000))
            << "the clicked button did not take the focus";
    }
};

TEST_F(FocusedReloadButton, DeviceWithUnitIdMinusOneIsReadyAndBound) {
    ASSERT_TRUE(nav->WaitForCount("|", 1)) << "no ready line";
    EXPECT_EQ(run->CountLog("Assigning -1Brackenfold-Wayfinder40F function CN1"), 1u);
    nav->Send("BTN_P=1");
    ASSERT_TRUE(run->WaitForTransmissions("EV_PRESS", 1)) << "the command reached no binding";
    EXPECT_EQ(Transmissions(run->Record(), "EV_PRESS")[0].data, 3u);
}

TEST_F(FocusedReloadButton, OneRowMakesTheWindow136High) {
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitForRows(window, rows,
                            [&](const std::vector<Row>& shown) {
                                return shown.size() == 1 &&
                                       shown[0].hardware == "Brackenfold-Wayfinder4" &&
                                       shown[0].port == "COM21" && shown[0].version == "1.0" &&
                                       window.WindowSize().cy == 136;
                            }))
        << "window height " << window.WindowSize().cy;
    EXPECT_EQ(rows[0].top, RowTop());
    EXPECT_EQ(window.WindowSize().cx, 1060);
    EXPECT_EQ(window.ReloadButton().rect.top, RowTop() + 16 + 5);
}

TEST_F(FocusedReloadButton, ClickedReloadButtonTakesTheFocus) {
    WindowDriver window(main);
    size_t ready = nav->Count("|");
    window.ClickReload();
    ASSERT_TRUE(nav->WaitForCount("|", ready + 1)) << "the reload did not register again";
    EXPECT_TRUE(WaitUntil([&] { return window.Focus() == window.ReloadButton().hwnd; }, 5000));
}

TEST_F(FocusedReloadButton, SpaceRebuildsTheRows) {
    ASSERT_NO_FATAL_FAILURE(Reload());
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 1 && shown[0].buttons.size() == 2;
    }));
    const std::vector<HWND> before = ButtonHandles(rows);
    window.PressKey(VK_SPACE);
    EXPECT_TRUE(WaitForRows(
        window, rows,
        [&](const std::vector<Row>& shown) {
            std::vector<HWND> now = ButtonHandles(shown);
            return now.size() == 2 && now != before;
        },
        10000))
        << "the function buttons were not made anew";
}

TEST_F(FocusedReloadButton, F1OpensTheYokeDialog) {
    ASSERT_NO_FATAL_FAILURE(Reload());
    WindowDriver window(main);
    HWND dialog = YokeDialog::Find(window.ProcessId());
    ASSERT_NE(dialog, nullptr) << "the yoke dialog was not made";
    ASSERT_FALSE(YokeDialog(dialog).Visible());
    window.PressKey(VK_F1);
    EXPECT_TRUE(WaitUntil([&] { return YokeDialog(dialog).Visible(); }, 10000));
    YokeDialog(dialog).PostClose();
    EXPECT_TRUE(WaitUntil([&] { return !YokeDialog(dialog).Visible(); }, 10000));
}

TEST_F(FocusedReloadButton, EscapeEndsTheProgramWithExitCode0) {
    ASSERT_NO_FATAL_FAILURE(Reload());
    WindowDriver window(main);
    window.PressKey(VK_ESCAPE);
    EXPECT_EQ(run->WaitExit(), 0);
}
