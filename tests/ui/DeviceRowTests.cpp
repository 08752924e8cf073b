#include "UiTestSupport.h"

#include "core/DeviceIndicators.h"
#include "device_io/DeviceIOManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kNavigator[] = "Brackenfold-Wayfinder4";    // functions {1, 2}
constexpr char kDisplay[] = "Brackenfold-PanoramaXFD";     // functions {3, 4, 8}
constexpr char kUnknown[] = "Brackenfold-Nothing-Like-It"; // model 17

using DeviceRowTest = UiTest;

std::vector<HWND> ButtonsOf(const DeviceRow& row) {
    std::vector<HWND> result;
    for (const WindowSubclass& button : row.buttons)
        if (button.window != nullptr)
            result.push_back(button.window);
    return result;
}

// The background colour the Device Type cell gives one of its buttons.
COLORREF ButtonColour(const DeviceRow& row, size_t k) {
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(row.typeCell.window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(row.buttons[k].window));
    const COLORREF colour = GetBkColor(dc);
    DeleteDC(dc);
    return colour;
}

constexpr COLORREF kBlue = RGB(0, 162, 232);
constexpr COLORREF kWhite = RGB(255, 255, 255);

TEST_F(DeviceRowTest, WithoutDevicesOnlyTheHeaderAndTheButtonRemain) {
    AddDevice(kNavigator, 1, "COM3");
    Window().Refresh(false);
    gPlugin->devices.clear();
    Window().Refresh(false);
    EXPECT_EQ(Window().RowCount(), 0u);
    EXPECT_EQ(OuterHeight(MainHwnd()), 120);
    const RECT button = RectInParent(Window().ReloadButton());
    EXPECT_EQ(button.left, 835);
    EXPECT_EQ(button.top, Window().RowTop() + 5);
    EXPECT_EQ(button.right - button.left, 200);
    EXPECT_EQ(button.bottom - button.top, 25);
}

TEST_F(DeviceRowTest, EachRowAddsSixteenPixelsAndTheButtonFollowsTheLastRow) {
    AddDevice(kNavigator, 1, "COM3");
    AddDevice(kNavigator, 2, "COM4");
    AddDevice(kDisplay, 3, "COM5");
    Window().Refresh(false);

    ASSERT_EQ(Window().RowCount(), 3u);
    EXPECT_EQ(OuterHeight(MainHwnd()), 168);
    const int rowTop = Window().RowTop();
    EXPECT_EQ(rowTop, GetSystemMetrics(SM_CYMENU));
    for (size_t i = 0; i < 3; ++i) {
        const RECT cell = RectInParent(Window().Row(i).hardwareCell.get());
        EXPECT_EQ(cell.top, rowTop + 16 * static_cast<int>(i));
        EXPECT_EQ(cell.left, 25);
        EXPECT_EQ(cell.bottom - cell.top, 16);
    }
    const RECT type = RectInParent(Window().Row(0).typeCell.window);
    EXPECT_EQ(type.left, 185);
    EXPECT_EQ(type.right - type.left, 140);
    EXPECT_EQ(RectInParent(Window().ReloadButton()).top, rowTop + 53);
}

TEST_F(DeviceRowTest, CellsShowTheRecordWithLongTextsShortenedFromTheFront) {
    const std::string key =
        AddDevice(kNavigator, 1, "\\\\.\\COM10", "1A2B", "v" + std::string(26, '7'));
    const std::string command = "ABC" + std::string(27, 'x');
    Record(key).HandleCommand(command, CommandValue{});
    Window().Refresh(false);

    const DeviceRow& row = Window().Row(0);
    EXPECT_EQ(TextOf(row.hardwareCell.get()), L"Brackenfold-Wayfinder4");
    EXPECT_EQ(TextOf(row.portCell.get()), L"COM10");
    EXPECT_EQ(TextOf(row.versionCell.get()), L"v" + std::wstring(26, L'7'));
    EXPECT_EQ(TextOf(row.messageCell.get()), L"..." + std::wstring(24, L'x'));
    EXPECT_EQ(TextOf(row.commandCell.get()), L"(Unmapped)");
    EXPECT_EQ(TextOf(row.ledCell.get()), L"------");
    EXPECT_EQ(TextOf(row.typeCell.window), L"");
}

TEST_F(DeviceRowTest, LedCellShowsTheLedCharactersWithoutTheMarker) {
    const std::string key = AddDevice(kNavigator, 1, "COM3");
    for (int i = 0; i < 4; ++i)
        Record(key).AddLed(std::make_shared<NullDeviceIndicator>());
    DeviceIOManager io([](const DeviceIncomingMessage&) {});
    Record(key).Update(io);
    ASSERT_EQ(Record(key).LedState(), "<0000");
    Window().Refresh(false);
    EXPECT_EQ(TextOf(Window().Row(0).ledCell.get()), L"0000");
}

TEST_F(DeviceRowTest, UnknownModelOrMissingIdShowDashesInTheTypeCell) {
    AddDevice(kUnknown, 1, "COM3");
    AddDevice(kNavigator, 2, "COM4", "");
    Window().Refresh(false);
    const DeviceRow& unknown = Window().Row(0);
    EXPECT_TRUE(ButtonsOf(unknown).empty());
    EXPECT_EQ(TextOf(unknown.typeCell.window), L"------");
    EXPECT_EQ(TextOf(Window().Row(1).typeCell.window), L"------");
}

TEST_F(DeviceRowTest, ButtonsOfferTheModelsFunctionsFiftyPixelsApart) {
    AddDevice(kNavigator, 1, "COM3");
    AddDevice(kDisplay, 2, "COM4");
    Window().Refresh(false);

    const std::vector<HWND> two = ButtonsOf(Window().Row(0));
    ASSERT_EQ(two.size(), 2u);
    const int xs[] = {0, 50};
    for (size_t k = 0; k < two.size(); ++k) {
        const RECT rect = RectInParent(two[k]);
        EXPECT_EQ(rect.left, xs[k]);
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right - rect.left, 40);
        EXPECT_EQ(GetParent(two[k]), Window().Row(0).typeCell.window);
    }
    EXPECT_EQ(TextOf(two[0]), L"COM1");
    EXPECT_EQ(TextOf(two[1]), L"COM2");
    EXPECT_EQ(Window().Row(0).buttons[1].tag, 2u);

    const std::vector<HWND> three = ButtonsOf(Window().Row(1));
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(TextOf(three[0]), L"PFD1");
    EXPECT_EQ(TextOf(three[1]), L"MFD");
    EXPECT_EQ(TextOf(three[2]), L"PFD2");
    EXPECT_EQ(Window().Row(1).buttons[2].tag, 8u);
}

TEST_F(DeviceRowTest, ButtonOfTheCurrentFunctionIsBlueTheOthersWhite) {
    const std::string key = AddDevice(kDisplay, 1, "COM3");
    ASSERT_TRUE(Record(key).SetFunction(4, false));
    Window().Refresh(false);
    const DeviceRow& row = Window().Row(0);
    EXPECT_EQ(ButtonColour(row, 0), kWhite);
    EXPECT_EQ(ButtonColour(row, 1), kBlue);
    EXPECT_EQ(ButtonColour(row, 2), kWhite);
}

TEST_F(DeviceRowTest, ClickAssignsTheFunctionAndMovesTheHighlight) {
    const std::string key = AddDevice(kNavigator, 1, "COM3");
    Window().Refresh(false);
    const DeviceRow& row = Window().Row(0);
    ASSERT_EQ(Record(key).Function(), 1);
    EXPECT_EQ(ButtonColour(row, 0), kBlue);

    SendMessageW(row.buttons[1].window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Record(key).Function(), 2);
    EXPECT_EQ(ButtonColour(row, 0), kWhite);
    EXPECT_EQ(ButtonColour(row, 1), kBlue);
    EXPECT_NE(ReadDeviceMap().find("Function=2"), std::string::npos) << ReadDeviceMap();

    // The highlighted button assigns its function again.
    DeleteFileW(deviceMapPath.c_str());
    SendMessageW(row.buttons[1].window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_NE(ReadDeviceMap().find("Function=2"), std::string::npos);
}

TEST_F(DeviceRowTest, RefreshOfTheSameDevicesKeepsTheRows) {
    const std::string key = AddDevice(kNavigator, 1, "COM3");
    Window().Refresh(false);
    HWND cell = Window().Row(0).hardwareCell.get();
    HWND button = Window().Row(0).buttons[0].window;

    Record(key).HandleCommand("BTN_A", CommandValue{});
    Window().Refresh(false);
    EXPECT_EQ(Window().Row(0).hardwareCell.get(), cell);
    EXPECT_EQ(Window().Row(0).buttons[0].window, button);
    EXPECT_EQ(TextOf(Window().Row(0).messageCell.get()), L"BTN_A");
}

TEST_F(DeviceRowTest, DeviceLeavingWhileAnotherArrivesRebuildsTheRows) {
    const std::string leaving = AddDevice(kNavigator, 1, "COM3");
    AddDevice(kNavigator, 2, "COM4");
    Window().Refresh(false);
    HWND oldCell = Window().Row(0).hardwareCell.get();
    HWND oldButton = Window().Row(0).buttons[0].window;

    gPlugin->devices.erase(leaving);
    const std::string arriving = AddDevice(kDisplay, 3, "COM5");
    Window().Refresh(false);

    ASSERT_EQ(Window().RowCount(), 2u);
    EXPECT_FALSE(IsWindow(oldCell));
    EXPECT_FALSE(IsWindow(oldButton));
    EXPECT_EQ(Window().Row(1).key, arriving);
    EXPECT_EQ(TextOf(Window().Row(1).hardwareCell.get()), L"Brackenfold-PanoramaXFD");
    EXPECT_EQ(ButtonsOf(Window().Row(1)).size(), 3u);
}

TEST_F(DeviceRowTest, SpaceRebuildsEveryRowWithTheCurrentFunction) {
    const std::string key = AddDevice(kNavigator, 1, "COM3");
    Window().Refresh(false);
    HWND oldButton = Window().Row(0).buttons[0].window;
    ASSERT_TRUE(Record(key).SetFunction(2, false));

    EXPECT_EQ(SendMessageW(MainHwnd(), WM_KEYDOWN, VK_SPACE, 0), 0);
    ASSERT_EQ(Window().RowCount(), 1u);
    EXPECT_FALSE(IsWindow(oldButton));
    EXPECT_EQ(ButtonColour(Window().Row(0), 0), kWhite);
    EXPECT_EQ(ButtonColour(Window().Row(0), 1), kBlue);
}

TEST_F(DeviceRowTest, StoppedDevicesEmptyTheList) {
    AddDevice(kNavigator, 1, "COM3");
    Window().Refresh(false);
    ASSERT_EQ(Window().RowCount(), 1u);
    gPlugin->devicesRunning = false;
    Window().Refresh(false);
    EXPECT_EQ(Window().RowCount(), 0u);
    EXPECT_EQ(OuterHeight(MainHwnd()), 120);
}

} // namespace
