// Devices coming and going: panel functions from DeviceMapping.ini or by
// default, the ready line, the device list and the function buttons.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

const char kCommandMap[] = "[metadata]\n"
                           "version=7\n"
                           "description=device tests\n"
                           "[Brackenfold-WayfinderX#CN1]\n"
                           "BTN_A+ = EV_CN1_A\n"
                           "[Brackenfold-WayfinderX#CN2]\n"
                           "BTN_A+ = EV_CN2_A\n"
                           "[Brackenfold-PanoramaXFD#PFD]\n"
                           "BTN_A+ = EV_PFD_A\n"
                           "[Brackenfold-PanoramaXFD#MFD]\n"
                           "BTN_A+ = EV_MFD_A\n";

// Written by hand, in a layout the program never writes, so that any rewrite shows.
const char kDeviceMapping[] = "; assignments kept from an earlier run\n"
                              "[panorama]\n"
                              "Port = \\\\.\\COM23\n"
                              "Model = Brackenfold-PanoramaXFD1\n"
                              "Function = 4\n"
                              "Id = 0C\n"
                              "\n"
                              "[stale]\n"
                              "Port = \\\\.\\COM24\n"
                              "Model = Brackenfold-Wayfinder5\n"
                              "Function = 3\n"
                              "Id = 0D\n";

const char kLongVersion[] = "0123456789abcdefghijklmnopqrst"; // 30 characters

const COLORREF kSelected = RGB(0, 162, 232);
const COLORREF kUnselected = RGB(255, 255, 255);

// The text background of a function button: 1 for the highlight colour, 0 for
// white, -1 when the screen shows neither.
int Highlight(HWND button) {
    std::vector<POINT> middleRow;
    for (int x = 0; x < 40; ++x)
        middleRow.push_back({x, 8});
    std::vector<COLORREF> colours = WindowDriver::ScreenPixels(button, middleRow);
    if (std::count(colours.begin(), colours.end(), kSelected) > 0)
        return 1;
    if (std::count(colours.begin(), colours.end(), kUnselected) > 0)
        return 0;
    return -1;
}

// The window's own background tells whether the screen can be read at all.
bool ScreenReadable(HWND main) {
    return WindowDriver::ScreenPixels(main, {{2, 8}})[0] == RGB(45, 45, 45);
}

std::vector<std::string> Labels(const Row& row) {
    std::vector<std::string> labels;
    for (const Control& button : row.buttons)
        labels.push_back(button.text);
    return labels;
}

} // namespace

// One run; devices are plugged and unplugged in the order of the tests.
class DeviceList : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ProgramSetup setup;
        setup.globalMap = kCommandMap;
        setup.deviceMapping = kDeviceMapping;
        run = std::make_unique<ProgramRun>(setup);
        main = run->MainWindow();
        run->WaitForLog("Airplanes\\Standin\\CommandMaping.ini");
    }
    static void TearDownTestSuite() {
        run.reset();
        navA.reset();
        navB.reset();
        panorama.reset();
        navD.reset();
        mystery.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(run);
        ASSERT_NE(main, nullptr) << "the main window did not appear";
    }

    static void PressAndExpect(Device& device, const std::string& event) {
        size_t before = run->TransmissionCount(event);
        device.Send("BTN_A=1");
        EXPECT_TRUE(run->WaitForTransmissions(event, before + 1)) << event << " was not sent";
    }

    static std::unique_ptr<ProgramRun> run;
    static HWND main;
    static std::unique_ptr<Device> navA, navB, panorama, navD, mystery;
};

std::unique_ptr<ProgramRun> DeviceList::run;
HWND DeviceList::main = nullptr;
std::unique_ptr<Device> DeviceList::navA, DeviceList::navB, DeviceList::panorama, DeviceList::navD,
    DeviceList::mystery;

TEST_F(DeviceList, StoredFunctionIsHonouredWithoutRewritingDeviceMapping) {
    panorama = std::make_unique<Device>(23, Identity("Brackenfold-PanoramaXFD1", 3, "2.0", "0C"));
    ASSERT_TRUE(panorama->WaitForCount("|", 1)) << "no ready line";
    EXPECT_EQ(run->CountLog("Brackenfold-PanoramaXFD1 with id 3 has connected at port "
                            "\\\\.\\COM23 with version 2.0."),
              1u);
    PressAndExpect(*panorama, "EV_MFD_A");
    EXPECT_EQ(run->TransmissionCount("EV_PFD_A"), 0u);
    EXPECT_EQ(run->CountLog("Assigning default function"), 0u);
    EXPECT_EQ(run->DeviceMappingText(), kDeviceMapping);
}

TEST_F(DeviceList, NavigatorsOfOneFamilyGetCN1ThenCN2) {
    navA = std::make_unique<Device>(21, Identity("Brackenfold-Wayfinder4", 1, "1.1", "0A"));
    ASSERT_TRUE(navA->WaitForCount("|", 1)) << "no ready line";
    navB = std::make_unique<Device>(22, Identity("Brackenfold-Wayfinder5", 2, "1.2", "0B"));
    ASSERT_TRUE(navB->WaitForCount("|", 1)) << "no ready line";
    EXPECT_EQ(run->CountLog("Assigning 1Brackenfold-Wayfinder40A function CN1"), 1u);
    EXPECT_EQ(run->CountLog("Assigning 2Brackenfold-Wayfinder50B function CN2"), 1u);
    EXPECT_EQ(run->CountLog("Is a new device or had an invalid function in the DeviceMapping.  "
                            "Assigning default function"),
              2u);
    PressAndExpect(*navA, "EV_CN1_A");
    PressAndExpect(*navB, "EV_CN2_A");
}

TEST_F(DeviceList, NewDevicesAreAppendedToDeviceMapping) {
    std::vector<IniSection> sections = run->DeviceMapping();
    ASSERT_EQ(sections.size(), 6u) << run->DeviceMappingText();
    const char* names[] = {"0", "1", "2", "3", "RidgelineYoke", "GlobalConfig"};
    for (size_t i = 0; i < sections.size(); ++i)
        EXPECT_EQ(sections[i].name, names[i]);
    struct Expected {
        const char *port, *model, *function, *id;
    };
    const Expected expected[] = {{"\\\\.\\COM23", "Brackenfold-PanoramaXFD1", "4", "0C"},
                                 {"\\\\.\\COM24", "Brackenfold-Wayfinder5", "3", "0D"},
                                 {"\\\\.\\COM21", "Brackenfold-Wayfinder4", "1", "0A"},
                                 {"\\\\.\\COM22", "Brackenfold-Wayfinder5", "2", "0B"}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sections[i].Get("Port"), expected[i].port);
        EXPECT_EQ(sections[i].Get("Model"), expected[i].model);
        EXPECT_EQ(sections[i].Get("Function"), expected[i].function);
        EXPECT_EQ(sections[i].Get("Id"), expected[i].id);
    }
    EXPECT_EQ(sections[4].Get("roll_state"), "2");
    EXPECT_EQ(sections[4].Get("pitch_state"), "2");
    EXPECT_EQ(sections[5].Get("probe_legacy"), "true");
}

TEST_F(DeviceList, RejectedStoredFunctionIsReplacedByTheDefaultAndStored) {
    ASSERT_TRUE(navA && navB) << "the navigators were not plugged";
    navD = std::make_unique<Device>(24, Identity("Brackenfold-Wayfinder5", 4, "1.4", "0D"));
    ASSERT_TRUE(navD->WaitForCount("|", 1)) << "no ready line";
    EXPECT_EQ(
        run->CountLog("Got connect for \\\\.\\COM24 (Brackenfold-Wayfinder5) with function 3, "
                      "but function was rejected"),
        1u);
    // Both navigator functions are taken: the smallest one again.
    EXPECT_EQ(run->CountLog("Assigning 4Brackenfold-Wayfinder50D function CN1"), 1u);
    std::optional<IniSection> stored =
        FindDeviceSection(run->DeviceMapping(), "Brackenfold-Wayfinder5", "0D");
    ASSERT_TRUE(stored) << run->DeviceMappingText();
    EXPECT_EQ(stored->Get("Function"), "1");
    PressAndExpect(*navD, "EV_CN1_A");
}

TEST_F(DeviceList, RowsShowTheDevicesInKeyOrder) {
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitUntil([&] {
        rows = window.Rows();
        return rows.size() == 4 && rows[3].message == "BTN_A";
    }));
    EXPECT_EQ(window.WindowSize().cy, 120 + 4 * 16);
    const char* hardware[] = {"Brackenfold-Wayfinder4", "Brackenfold-Wayfinder5",
                              "Brackenfold-PanoramaXFD1", "Brackenfold-Wayfinder5"};
    const char* ports[] = {"COM21", "COM22", "COM23", "COM24"};
    const char* versions[] = {"1.1", "1.2", "2.0", "1.4"};
    const char* commands[] = {"EV_CN1_A", "EV_CN2_A", "EV_MFD_A", "EV_CN1_A"};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].top, RowTop() + 16 * int(i));
        EXPECT_EQ(rows[i].hardware, hardware[i]);
        EXPECT_EQ(rows[i].port, ports[i]);
        EXPECT_EQ(rows[i].version, versions[i]);
        EXPECT_EQ(rows[i].message, "BTN_A");
        EXPECT_EQ(rows[i].command, commands[i]);
        EXPECT_EQ(rows[i].leds, "------");
        EXPECT_EQ(rows[i].type, "");
    }
    const std::vector<std::string> navButtons = {"COM1", "COM2"};
    EXPECT_EQ(Labels(rows[0]), navButtons);
    EXPECT_EQ(Labels(rows[1]), navButtons);
    EXPECT_EQ(Labels(rows[2]), (std::vector<std::string>{"PFD1", "MFD", "PFD2"}));
    EXPECT_EQ(Labels(rows[3]), navButtons);
    for (size_t k = 0; k < rows[2].buttons.size(); ++k) {
        const RECT& rect = rows[2].buttons[k].rect;
        EXPECT_EQ(rect.left, 50 * int(k));
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right - rect.left, 40);
        EXPECT_EQ(rect.bottom - rect.top, 16);
    }
    Control reload = window.ReloadButton();
    EXPECT_EQ(reload.rect.left, 835);
    EXPECT_EQ(reload.rect.top, RowTop() + 4 * 16 + 5);
}

TEST_F(DeviceList, HighlightShowsEachDevicesFunction) {
    WindowDriver window(main);
    std::vector<Row> rows = window.Rows();
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_EQ(rows[2].buttons.size(), 3u);
    if (!ScreenReadable(main))
        GTEST_SKIP() << "the screen cannot be read here; see " << SaveScreenshot("highlight");
    EXPECT_EQ(Highlight(rows[0].buttons[0].hwnd), 1);
    EXPECT_EQ(Highlight(rows[0].buttons[1].hwnd), 0);
    EXPECT_EQ(Highlight(rows[1].buttons[0].hwnd), 0);
    EXPECT_EQ(Highlight(rows[1].buttons[1].hwnd), 1);
    EXPECT_EQ(Highlight(rows[2].buttons[0].hwnd), 0);
    EXPECT_EQ(Highlight(rows[2].buttons[1].hwnd), 1);
    EXPECT_EQ(Highlight(rows[2].buttons[2].hwnd), 0);
}

TEST_F(DeviceList, UnpluggedDeviceLeavesTheList) {
    ASSERT_TRUE(navB) << "the navigator was not plugged";
    navB->Unplug();
    ASSERT_TRUE(run->WaitForLog(
        "Brackenfold-Wayfinder5 with id 2 has disconnected from port \\\\.\\COM22."));
    WindowDriver window(main);
    std::vector<Row> rows;
    // The list is read once it has settled: three rows and the window fitted to them.
    WaitUntil([&] {
        rows = window.Rows();
        return rows.size() == 3 && window.WindowSize().cy == 120 + 3 * 16 &&
               window.ReloadButton().rect.top == RowTop() + 3 * 16 + 5;
    });
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(window.WindowSize().cy, 120 + 3 * 16);
    EXPECT_EQ(window.ReloadButton().rect.top, RowTop() + 3 * 16 + 5);
    EXPECT_EQ(rows[0].port, "COM21");
    EXPECT_EQ(rows[1].port, "COM23");
    EXPECT_EQ(rows[2].port, "COM24");
}

TEST_F(DeviceList, ReplugGetsTheStoredFunctionBack) {
    ASSERT_TRUE(navB) << "the navigator was not plugged";
    navB->Plug();
    ASSERT_TRUE(navB->WaitForCount("|", 1)) << "no ready line after the replug";
    EXPECT_EQ(run->CountLog("Brackenfold-Wayfinder5 with id 2 has connected at port \\\\.\\COM22"),
              2u);
    EXPECT_EQ(run->CountLog("Assigning 2Brackenfold-Wayfinder50B"), 1u);
    PressAndExpect(*navB, "EV_CN2_A");
}

TEST_F(DeviceList, ListIsRebuiltWhenOneDeviceLeavesAndAnotherArrives) {
    ASSERT_TRUE(navA) << "the navigator was not plugged";
    navA->Unplug();
    mystery = std::make_unique<Device>(25, Identity("Brackenfold-Mystery", 5, kLongVersion, "0E"));
    ASSERT_TRUE(mystery->WaitForCount("|", 1)) << "no ready line";
    ASSERT_TRUE(run->WaitForLog("Brackenfold-Wayfinder4 with id 1 has disconnected"));
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitUntil([&] {
        rows = window.Rows();
        // The type cell is the last one a row update sets.
        return rows.size() == 4 && rows[0].port == "COM22" && rows[3].port == "COM25" &&
               rows[3].type != "Device Type";
    })) << "rows: "
        << rows.size();
    EXPECT_EQ(Labels(rows[0]), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_EQ(Labels(rows[1]), (std::vector<std::string>{"PFD1", "MFD", "PFD2"}));
    EXPECT_EQ(Labels(rows[2]), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_TRUE(rows[3].buttons.empty());
    EXPECT_EQ(rows[3].hardware, "Brackenfold-Mystery");
    EXPECT_EQ(rows[3].type, "------") << "an unknown model has no function buttons";
    EXPECT_EQ(rows[3].leds, "------");
    EXPECT_EQ(rows[3].version, std::string("...") + (kLongVersion + 6));
    EXPECT_EQ(rows[1].hardware, "Brackenfold-PanoramaXFD1");
    EXPECT_EQ(rows[1].message, "BTN_A");
}

TEST_F(DeviceList, FunctionButtonClickStoresTheFunctionAndRebindsTheDevice) {
    ASSERT_TRUE(panorama) << "the display was not plugged";
    WindowDriver window(main);
    std::vector<Row> rows = window.Rows();
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_EQ(rows[1].port, "COM23");
    ASSERT_EQ(rows[1].buttons.size(), 3u);
    HWND pfd = rows[1].buttons[0].hwnd;
    HWND mfd = rows[1].buttons[1].hwnd;
    window.Click(pfd);

    ASSERT_TRUE(panorama->WaitForCount("|", 2)) << "the device was not registered again";
    PressAndExpect(*panorama, "EV_PFD_A");
    // The command was handled after the click, so the file is written by now.
    std::optional<IniSection> stored =
        FindDeviceSection(run->DeviceMapping(), "Brackenfold-PanoramaXFD1", "0C");
    ASSERT_TRUE(stored) << run->DeviceMappingText();
    EXPECT_EQ(stored->Get("Function"), "3");
    if (ScreenReadable(main)) {
        EXPECT_TRUE(WaitUntil([&] { return Highlight(pfd) == 1; }, 5000))
            << "the highlight did not move; see " << SaveScreenshot("function_click");
        EXPECT_EQ(Highlight(mfd), 0);
    }
}
