#include "UiTestSupport.h"

#include "ui/ResourceIds.h"
#include "device_io/DeviceIOManager.h"
#include "support/Logger.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A yoke dialog whose every answer fails.
class FailingYokeDialog : public IYokeDialog {
public:
    HWND Hwnd() const override { return nullptr; }
    void Show() override { throw std::runtime_error("yoke dialog failed"); }
    bool HasYokes() const override { throw std::runtime_error("yoke list failed"); }
    bool AddYoke(const std::string&) override { return true; }
    void RemoveYoke(const std::string&) override {}
};

UINT MenuState(HWND window, UINT id) {
    return GetMenuState(GetMenu(window), id, MF_BYCOMMAND);
}

bool TakeQuit(WPARAM& code) {
    MSG msg{};
    if (!PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    code = msg.wParam;
    return true;
}

COLORREF BrushColour(LRESULT brush) {
    LOGBRUSH info{};
    GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof(info), &info);
    return info.lbColor;
}

using MainWindowTest = UiTest;

TEST_F(MainWindowTest, IsCreatedVisibleWithTheFullVersionInItsTitle) {
    EXPECT_TRUE(IsWindowVisible(MainHwnd()));
    EXPECT_EQ(TextOf(MainHwnd()), L"Brackenfold Device Interface 2.0.1.0");
    wchar_t className[64] = {};
    GetClassNameW(MainHwnd(), className, 64);
    EXPECT_STREQ(className, L"Brackenfold");
    EXPECT_EQ(FindWindowW(L"Brackenfold", nullptr), MainHwnd());
    EXPECT_NE(GetWindowLongPtrW(MainHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(TextOf(Window().ReloadButton()), L"Reload Command Map");
}

TEST_F(MainWindowTest, TitleShowsTheShortVersionAndTheAircraftFolder) {
    Window().SetTitle();
    EXPECT_EQ(TextOf(MainHwnd()), L"Brackenfold Device Interface 2.0.1");

    gPlugin->aircraftPath = "SimObjects\\Airplanes\\Generic\\aircraft.cfg";
    Window().SetTitle();
    EXPECT_EQ(TextOf(MainHwnd()), L"Brackenfold Device Interface 2.0.1 - Aircraft: Generic");

    gPlugin->settings.reset();
    Window().SetTitle();
    EXPECT_EQ(TextOf(MainHwnd()), L"Brackenfold Device Interface 2.0.1");
}

TEST_F(MainWindowTest, CloseBoxKeepsTheWindowShown) {
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(MainHwnd()));
    EXPECT_TRUE(IsWindowVisible(MainHwnd()));
    WPARAM code = 99;
    EXPECT_FALSE(TakeQuit(code));
}

TEST_F(MainWindowTest, EscapeAndTheQuitMessageEndTheLoopWithCodeZero) {
    WPARAM code = 99;
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_KEYDOWN, VK_ESCAPE, 0), 0);
    ASSERT_TRUE(TakeQuit(code));
    EXPECT_EQ(code, 0u);

    code = 99;
    EXPECT_EQ(SendMessageW(MainHwnd(), WMU_QUIT, 0, 0), 0);
    ASSERT_TRUE(TakeQuit(code));
    EXPECT_EQ(code, 0u);
}

TEST_F(MainWindowTest, FirstShowPlacesTheWindowLaterShowsKeepItsPlace) {
    SendMessageW(MainHwnd(), WMU_SHOW, 0, 0);
    RECT rect{};
    GetWindowRect(MainHwnd(), &rect);
    EXPECT_EQ(rect.left, 5);
    EXPECT_EQ(rect.top, 30);
    EXPECT_EQ(rect.right - rect.left, 1060);

    SetWindowPos(MainHwnd(), nullptr, 200, 210, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Window().Show();
    GetWindowRect(MainHwnd(), &rect);
    EXPECT_EQ(rect.left, 200);
    EXPECT_EQ(rect.top, 210);
}

TEST_F(MainWindowTest, HeaderCellsAreWhiteOnGreyRowCellsLightGreyOnBlack) {
    HDC dc = CreateCompatibleDC(nullptr);
    HWND header = FindWindowExW(MainHwnd(), nullptr, L"STATIC", L"Hardware");
    ASSERT_NE(header, nullptr);
    LRESULT brush = SendMessageW(MainHwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(header));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(GetBkColor(dc), RGB(45, 45, 45));
    EXPECT_EQ(BrushColour(brush), RGB(45, 45, 45));

    AddDevice("Brackenfold-Wayfinder4", 1, "COM3");
    Window().Refresh(false);
    ASSERT_EQ(Window().RowCount(), 1u);
    brush = SendMessageW(MainHwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Window().Row(0).portCell.get()));
    EXPECT_EQ(GetTextColor(dc), RGB(230, 230, 230));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(BrushColour(brush), RGB(0, 0, 0));
    DeleteDC(dc);
}

TEST_F(MainWindowTest, LegacyCommandFlipsTheCheckMarkSavesAndQueuesTheNewFlag) {
    Window().UpdateYokeMenu();
    ASSERT_TRUE(gPlugin->settings->DeviceMap().legacyProbing);
    EXPECT_TRUE(MenuState(MainHwnd(), IDM_LEGACY_SUPPORT) & MF_CHECKED);

    SendMessageW(MainHwnd(), WM_COMMAND, IDM_LEGACY_SUPPORT, 0);
    EXPECT_FALSE(MenuState(MainHwnd(), IDM_LEGACY_SUPPORT) & MF_CHECKED);
    EXPECT_FALSE(gPlugin->settings->DeviceMap().legacyProbing);
    EXPECT_NE(ReadDeviceMap().find("probe_legacy=false"), std::string::npos) << ReadDeviceMap();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, DeviceIoRequestKind::SetLegacySupport);
    EXPECT_FALSE(requests[0].flag);
    EXPECT_TRUE(Logged(BKFLog::LevelInfo, "Toggling legacy support"));

    SendMessageW(MainHwnd(), WM_COMMAND, IDM_LEGACY_SUPPORT, 0);
    EXPECT_TRUE(MenuState(MainHwnd(), IDM_LEGACY_SUPPORT) & MF_CHECKED);
    EXPECT_NE(ReadDeviceMap().find("probe_legacy=true"), std::string::npos);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].flag);
}

TEST_F(MainWindowTest, YokeItemsAreGrayedUntilAYokeIsRegistered) {
    Window().UpdateYokeMenu();
    EXPECT_TRUE(MenuState(MainHwnd(), IDM_YOKE_SETTINGS) & MF_GRAYED);
    EXPECT_TRUE(MenuState(MainHwnd(), IDM_YOKE_RECALIBRATE) & MF_GRAYED);

    RidgelineYokeDlg& dialog = MakeYokeDialog();
    dialog.AddYoke("5Brackenfold-Ridgeline-Yoke1A");
    Window().UpdateYokeMenu();
    EXPECT_FALSE(MenuState(MainHwnd(), IDM_YOKE_SETTINGS) & MF_GRAYED);
    EXPECT_FALSE(MenuState(MainHwnd(), IDM_YOKE_RECALIBRATE) & MF_GRAYED);
    EXPECT_TRUE(Logged(BKFLog::LevelTrace, "Updating Ridgeline Menu Availability: 1"));
}

TEST_F(MainWindowTest, YokeCommandsShowTheDialogOnlyOnceItExists) {
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_KEYDOWN, VK_F1, 0), 0);
    EXPECT_EQ(SendMessageW(MainHwnd(), WMU_YOKE_SETTINGS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_COMMAND, IDM_YOKE_SETTINGS, 0), 0);

    const UINT shows[][2] = {
        {WM_KEYDOWN, VK_F1}, {WMU_YOKE_SETTINGS, 0}, {WM_COMMAND, IDM_YOKE_SETTINGS}};
    for (const auto& show : shows) {
        HWND dialog = MakeYokeDialog().Hwnd();
        ASSERT_FALSE(IsWindowVisible(dialog));
        SendMessageW(MainHwnd(), show[0], show[1], 0);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "message 0x" << std::hex << show[0];
    }
}

TEST_F(MainWindowTest, WithoutSettingsTheLegacyItemIsGrayedAndCommandsOnlyLog) {
    gPlugin->settings.reset();
    Window().UpdateYokeMenu();
    EXPECT_TRUE(MenuState(MainHwnd(), IDM_LEGACY_SUPPORT) & MF_GRAYED);

    EXPECT_EQ(SendMessageW(MainHwnd(), WM_COMMAND, IDM_LEGACY_SUPPORT, 0), 0);
    EXPECT_TRUE(Logged(BKFLog::LevelInfo, "Toggling legacy support"));
    EXPECT_TRUE(requests.empty());

    EXPECT_EQ(SendMessageW(MainHwnd(), WM_COMMAND, BN_CLICKED << 16,
                           reinterpret_cast<LPARAM>(Window().ReloadButton())),
              0);
    EXPECT_TRUE(Logged(BKFLog::LevelTrace, "Reloading Command Maps"));
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_COMMAND, IDM_YOKE_RECALIBRATE, 0), 0);
}

TEST_F(MainWindowTest, PrivateMessagesBeforeTheDevicesAreEnabledDoNothing) {
    ASSERT_EQ(gPlugin->ioManager, nullptr);
    EXPECT_EQ(SendMessageW(MainHwnd(), WMU_DEVICE_MESSAGE, 0, 0), 0);
    EXPECT_EQ(SendMessageW(MainHwnd(), WMU_SIMCONNECT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(MainHwnd(), WMU_REFRESH, 0, 0), 0);
    EXPECT_EQ(Window().RowCount(), 0u);
}

TEST_F(MainWindowTest, FailuresInsideTheWindowProcedureAreLoggedNotThrown) {
    gPlugin->yokeDialog = std::make_unique<FailingYokeDialog>();
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_KEYDOWN, VK_F1, 0), 0);
    EXPECT_TRUE(Logged(BKFLog::LevelError, "yoke dialog failed"));
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_COMMAND, IDM_YOKE_SETTINGS, 0), 0);
    EXPECT_EQ(SendMessageW(MainHwnd(), WMU_YOKE_SETTINGS, 0, 0), 0);

    // The menu update inside the legacy command asks the failing yoke list.
    EXPECT_EQ(SendMessageW(MainHwnd(), WM_COMMAND, IDM_LEGACY_SUPPORT, 0), 0);
    EXPECT_TRUE(Logged(BKFLog::LevelError, "yoke list failed"));
    EXPECT_TRUE(IsWindow(MainHwnd()));
    gPlugin->yokeDialog.reset();
}

TEST_F(MainWindowTest, DestroyTwiceIsHarmless) {
    AddDevice("Brackenfold-Wayfinder4", 1, "COM3");
    Window().Refresh(false);
    HWND window = MainHwnd();
    HWND cell = Window().Row(0).hardwareCell.get();
    Window().Destroy();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(cell));
    EXPECT_EQ(Window().Hwnd(), nullptr);
    Window().Destroy();
}

} // namespace
