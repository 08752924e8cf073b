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
// No device of these tests matches the spare section.
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
                              "Id = 0D\n"
                              "\n"
                              "[spare]\n"
                              "Port = \\\\.\\COM29\n"
                              "Model = Brackenfold-Wayfinder4\n"
                              "Function = 2\n"
                              "Id = 0F\n";

const char kLongVersion[] = "0123456789abcdefghijklmnopqrst"; // 30 characters

const char kNewDevice[] = "Is a new device or had an invalid function in the DeviceMapping.  "
                          "Assigning default function";

const std::vector<std::string> kNavigatorButtons = {"COM1", "COM2"};
const std::vector<std::string> kDisplayButtons = {"PFD1", "MFD", "PFD2"};

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

std::unique_ptr<ProgramRun> StartDeviceRun() {
    ProgramSetup setup;
    setup.globalMap = kCommandMap;
    setup.deviceMapping = kDeviceMapping;
    auto run = std::make_unique<ProgramRun>(setup);
    // Devices plugged from now on are registered with the aircraft's maps loaded.
    run->WaitForLog("Airplanes\\Standin\\CommandMaping.ini");
    return run;
}

// Plugs a device and waits for its ready line, so that the next one connects after it.
std::unique_ptr<Device> PlugAndWait(int com, const std::string& identity) {
    auto device = std::make_unique<Device>(com, identity);
    device->WaitForCount("|", 1);
    return device;
}

void PressAndExpect(ProgramRun& run, Device& device, const std::string& event) {
    size_t before = run.TransmissionCount(event);
    device.Send("BTN_A=1");
    EXPECT_TRUE(run.WaitForTransmissions(event, before + 1)) << event << " was not sent";
}

} // namespace

// A run of its own: the first device to connect finds DeviceMapping.ini as written.
TEST(StoredFunction, IsHonouredWithoutRewritingDeviceMapping) {
    std::unique_ptr<ProgramRun> run = StartDeviceRun();
    Device panorama(23, Identity("Brackenfold-PanoramaXFD1", 3, "2.0", "0C"));
    ASSERT_TRUE(panorama.WaitForCount("|", 1)) << "no ready line";
    EXPECT_EQ(run->CountLog("Brackenfold-PanoramaXFD1 with id 3 has connected at port "
                            "\\\\.\\COM23 with version 2.0."),
              1u);
    PressAndExpect(*run, panorama, "EV_MFD_A");
    EXPECT_EQ(run->TransmissionCount("EV_PFD_A"), 0u);
    EXPECT_EQ(run->CountLog("Assigning default function"), 0u);
    EXPECT_EQ(run->DeviceMappingText(), kDeviceMapping);
}

// One run in which the display, two navigators of one family and a navigator whose
// stored function is taken connect one after the other; the tests read what came
// of it and change nothing but the last command of a row.
class DeviceList : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        run = StartDeviceRun();
        main = run->MainWindow();
        panorama = PlugAndWait(23, Identity("Brackenfold-PanoramaXFD1", 3, "2.0", "0C"));
        navA = PlugAndWait(21, Identity("Brackenfold-Wayfinder4", 1, "1.1", "0A"));
        navB = PlugAndWait(22, Identity("Brackenfold-Wayfinder5", 2, "1.2", "0B"));
        navD = PlugAndWait(24, Identity("Brackenfold-Wayfinder5", 4, "1.4", "0D"));
    }
    static void TearDownTestSuite() {
        run.reset();
        navA.reset();
        navB.reset();
        panorama.reset();
        navD.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(run);
        ASSERT_NE(main, nullptr) << "the main window did not appear";
        for (Device* device : {panorama.get(), navA.get(), navB.get(), navD.get()})
            ASSERT_EQ(device->Count("|"), 1u) << device->Port() << " was not registered once";
    }

    static inline std::unique_ptr<ProgramRun> run;
    static inline HWND main = nullptr;
    static inline std::unique_ptr<Device> navA, navB, panorama, navD;
};

TEST_F(DeviceList, NavigatorsOfOneFamilyGetCN1ThenCN2) {
    EXPECT_EQ(run->CountLog("Assigning 1Brackenfold-Wayfinder40A function CN1"), 1u);
    EXPECT_EQ(run->CountLog("Assigning 2Brackenfold-Wayfinder50B function CN2"), 1u);
    EXPECT_TRUE(run->LogInOrder({"Brackenfold-Wayfinder4 with id 1 has connected", kNewDevice,
                                 "Assigning 1Brackenfold-Wayfinder40A function CN1"}));
    EXPECT_TRUE(run->LogInOrder({"Brackenfold-Wayfinder5 with id 2 has connected", kNewDevice,
                                 "Assigning 2Brackenfold-Wayfinder50B function CN2"}));
    PressAndExpect(*run, *navA, "EV_CN1_A");
    PressAndExpect(*run, *navB, "EV_CN2_A");
}

TEST_F(DeviceList, NewDevicesAreAppendedToDeviceMapping) {
    std::vector<IniSection> sections = run->DeviceMapping();
    ASSERT_EQ(sections.size(), 7u) << run->DeviceMappingText();
    const char* names[] = {"0", "1", "2", "3", "4", "RidgelineYoke", "GlobalConfig"};
    for (size_t i = 0; i < sections.size(); ++i)
        EXPECT_EQ(sections[i].name, names[i]);
    struct Expected {
        const char *port, *model, *function, *id;
    };
    // The stale section now holds the navigator that took it over; the spare one is
    // written back as it was.
    const Expected expected[] = {{"\\\\.\\COM23", "Brackenfold-PanoramaXFD1", "4", "0C"},
                                 {"\\\\.\\COM24", "Brackenfold-Wayfinder5", "1", "0D"},
                                 {"\\\\.\\COM29", "Brackenfold-Wayfinder4", "2", "0F"},
                                 {"\\\\.\\COM21", "Brackenfold-Wayfinder4", "1", "0A"},
                                 {"\\\\.\\COM22", "Brackenfold-Wayfinder5", "2", "0B"}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sections[i].Get("Port"), expected[i].port);
        EXPECT_EQ(sections[i].Get("Model"), expected[i].model);
        EXPECT_EQ(sections[i].Get("Function"), expected[i].function);
        EXPECT_EQ(sections[i].Get("Id"), expected[i].id);
    }
    EXPECT_EQ(sections[5].Get("roll_state"), "2");
    EXPECT_EQ(sections[5].Get("pitch_state"), "2");
    EXPECT_EQ(sections[6].Get("probe_legacy"), "true");
}

TEST_F(DeviceList, RejectedStoredFunctionIsReplacedByTheDefaultAndStored) {
    // The navigators on COM21 and COM22 hold both functions: the smallest one again.
    EXPECT_TRUE(run->LogInOrder(
        {"Brackenfold-Wayfinder5 with id 4 has connected",
         "Got connect for \\\\.\\COM24 (Brackenfold-Wayfinder5) with function 3, but function "
         "was rejected",
         kNewDevice, "Assigning 4Brackenfold-Wayfinder50D function CN1"}))
        << run->Log();
    EXPECT_EQ(run->CountLog("Assigning 4Brackenfold-Wayfinder50D function CN1"), 1u);
    std::optional<IniSection> stored =
        FindDeviceSection(run->DeviceMapping(), "Brackenfold-Wayfinder5", "0D");
    ASSERT_TRUE(stored) << run->DeviceMappingText();
    EXPECT_EQ(stored->Get("Function"), "1");
    PressAndExpect(*run, *navD, "EV_CN1_A");
}

TEST_F(DeviceList, RowsShowTheDevicesInKeyOrder) {
    PressAndExpect(*run, *navA, "EV_CN1_A");
    PressAndExpect(*run, *navB, "EV_CN2_A");
    PressAndExpect(*run, *panorama, "EV_MFD_A");
    PressAndExpect(*run, *navD, "EV_CN1_A");
    const std::vector<std::string> hardware = {"Brackenfold-Wayfinder4", "Brackenfold-Wayfinder5",
                                               "Brackenfold-PanoramaXFD1",
                                               "Brackenfold-Wayfinder5"};
    const std::vector<std::string> ports = {"COM21", "COM22", "COM23", "COM24"};
    const std::vector<std::string> versions = {"1.1", "1.2", "2.0", "1.4"};
    const std::vector<std::string> commands = {"EV_CN1_A", "EV_CN2_A", "EV_MFD_A", "EV_CN1_A"};
    const std::vector<std::string> messages(4, "BTN_A"), leds(4, "------"), types(4, "");
    const std::vector<std::vector<std::string>> labels = {kNavigatorButtons, kNavigatorButtons,
                                                          kDisplayButtons, kNavigatorButtons};
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitForRows(window, rows, [&](const std::vector<Row>& shown) {
        return Column(shown, &Row::hardware) == hardware && Column(shown, &Row::port) == ports &&
               Column(shown, &Row::version) == versions &&
               Column(shown, &Row::message) == messages &&
               Column(shown, &Row::command) == commands && Column(shown, &Row::leds) == leds &&
               Column(shown, &Row::type) == types && Labels(shown) == labels;
    }));
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].top, RowTop() + 16 * int(i));
    for (size_t k = 0; k < rows[2].buttons.size(); ++k) {
        const RECT& rect = rows[2].buttons[k].rect;
        EXPECT_EQ(rect.left, 50 * int(k));
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right - rect.left, 40);
        EXPECT_EQ(rect.bottom - rect.top, 16);
    }
    EXPECT_EQ(window.WindowSize().cy, 120 + 4 * 16);
    Control reload = window.ReloadButton();
    EXPECT_EQ(reload.rect.left, 835);
    EXPECT_EQ(reload.rect.top, RowTop() + 4 * 16 + 5);
}

TEST_F(DeviceList, HighlightShowsEachDevicesFunction) {
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return Column(shown, &Row::port) ==
                   std::vector<std::string>{"COM21", "COM22", "COM23", "COM24"} &&
               Labels(shown) ==
                   std::vector<std::vector<std::string>>{kNavigatorButtons, kNavigatorButtons,
                                                         kDisplayButtons, kNavigatorButtons};
    }));
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

// One run with two navigators and the display, connected in that order; each test
// first plugs and unplugs devices until the list shows the ones it starts from.
class DeviceListChanges : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        run = StartDeviceRun();
        main = run->MainWindow();
        navA = PlugAndWait(21, Identity("Brackenfold-Wayfinder4", 1, "1.1", "0A"));
        navB = PlugAndWait(22, Identity("Brackenfold-Wayfinder5", 2, "1.2", "0B"));
        panorama = PlugAndWait(23, Identity("Brackenfold-PanoramaXFD1", 3, "2.0", "0C"));
        mystery = std::make_unique<Device>(
            25, Identity("Brackenfold-Mystery", 5, kLongVersion, "0E"), false);
    }
    static void TearDownTestSuite() {
        run.reset();
        navA.reset();
        navB.reset();
        panorama.reset();
        mystery.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(run);
        ASSERT_NE(main, nullptr) << "the main window did not appear";
    }

    // Plugs the devices given (in key order) and unplugs the others, then waits until
    // the list shows exactly those.
    static void Present(const std::vector<Device*>& wanted) {
        std::vector<std::string> ports;
        for (Device* device : {navA.get(), navB.get(), panorama.get(), mystery.get()}) {
            const bool want = std::find(wanted.begin(), wanted.end(), device) != wanted.end();
            if (want && !device->Plugged())
                device->Plug();
            if (!want && device->Plugged())
                device->Unplug();
        }
        for (Device* device : wanted)
            ports.push_back(device->ShownPort());
        std::vector<Row> rows;
        ASSERT_TRUE(WaitForRows(WindowDriver(main), rows, [&](const std::vector<Row>& shown) {
            return Column(shown, &Row::port) == ports;
        }));
    }

    static inline std::unique_ptr<ProgramRun> run;
    static inline HWND main = nullptr;
    static inline std::unique_ptr<Device> navA, navB, panorama, mystery;
};

TEST_F(DeviceListChanges, UnpluggedDeviceLeavesTheList) {
    ASSERT_NO_FATAL_FAILURE(Present({navA.get(), navB.get(), panorama.get()}));
    const std::string disconnected =
        "Brackenfold-Wayfinder5 with id 2 has disconnected from port \\\\.\\COM22.";
    size_t before = run->CountLog(disconnected);
    navB->Unplug();
    ASSERT_TRUE(run->WaitForLogCount(disconnected, before + 1));
    WindowDriver window(main);
    std::vector<Row> rows;
    // Two rows, and the window fitted to them.
    EXPECT_TRUE(WaitForRows(window, rows,
                            [&](const std::vector<Row>& shown) {
                                return Column(shown, &Row::port) ==
                                           std::vector<std::string>{"COM21", "COM23"} &&
                                       window.WindowSize().cy == 120 + 2 * 16 &&
                                       window.ReloadButton().rect.top == RowTop() + 2 * 16 + 5;
                            }))
        << "window height " << window.WindowSize().cy << ", reload button at "
        << window.ReloadButton().rect.top;
}

TEST_F(DeviceListChanges, ReplugGetsTheStoredFunctionBack) {
    ASSERT_NO_FATAL_FAILURE(Present({navA.get(), panorama.get()}));
    const std::string connected = "Brackenfold-Wayfinder5 with id 2 has connected at port "
                                  "\\\\.\\COM22";
    const std::string assigned = "Assigning 2Brackenfold-Wayfinder50B";
    size_t connects = run->CountLog(connected);
    size_t assignments = run->CountLog(assigned);
    navB->Plug();
    ASSERT_TRUE(navB->WaitForCount("|", 1)) << "no ready line after the replug";
    EXPECT_EQ(run->CountLog(connected), connects + 1);
    EXPECT_EQ(run->CountLog(assigned), assignments) << "the stored function was not taken";
    PressAndExpect(*run, *navB, "EV_CN2_A");
}

TEST_F(DeviceListChanges, ListIsRebuiltWhenOneDeviceLeavesAndAnotherArrives) {
    ASSERT_NO_FATAL_FAILURE(Present({navA.get(), navB.get(), panorama.get()}));
    WindowDriver window(main);
    std::vector<Row> rows;
    panorama->Send("BTN_A=1");
    ASSERT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 3 && shown[2].message == "BTN_A";
    }));

    navA->Unplug();
    mystery->Plug();
    ASSERT_TRUE(mystery->WaitForCount("|", 1)) << "no ready line";
    // The rows that stay show their devices' texts again; an unknown model has no
    // function buttons and shows "------" in its Device Type cell.
    const std::vector<std::string> ports = {"COM22", "COM23", "COM25"};
    const std::vector<std::string> hardware = {"Brackenfold-Wayfinder5", "Brackenfold-PanoramaXFD1",
                                               "Brackenfold-Mystery"};
    const std::vector<std::string> types = {"", "", "------"}, leds(3, "------");
    const std::vector<std::vector<std::string>> labels = {kNavigatorButtons, kDisplayButtons, {}};
    EXPECT_TRUE(WaitForRows(window, rows, [&](const std::vector<Row>& shown) {
        return Column(shown, &Row::port) == ports && Column(shown, &Row::hardware) == hardware &&
               Column(shown, &Row::type) == types && Column(shown, &Row::leds) == leds &&
               Labels(shown) == labels && shown[1].message == "BTN_A" &&
               shown[2].version == std::string("...") + (kLongVersion + 6);
    }));
}

TEST_F(DeviceListChanges, FunctionButtonClickStoresTheFunctionAndRebindsTheDevice) {
    ASSERT_NO_FATAL_FAILURE(Present({panorama.get()}));
    WindowDriver window(main);
    std::vector<Row> rows;
    ASSERT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 1 && Labels(shown[0]) == kDisplayButtons;
    }));
    HWND pfd = rows[0].buttons[0].hwnd;
    HWND mfd = rows[0].buttons[1].hwnd;
    size_t ready = panorama->Count("|");
    window.Click(pfd);

    ASSERT_TRUE(panorama->WaitForCount("|", ready + 1)) << "the device was not registered again";
    PressAndExpect(*run, *panorama, "EV_PFD_A");
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

// A run of its own: a model that allows no panel function is named by its unit id,
// here -1, in its command-map section and in the log.
TEST(UnitIdMinusOne, DeviceWithoutPanelFunctionIsBoundBySectionMinusOne) {
    ProgramSetup setup;
    setup.globalMap = "[Brackenfold-Keypad#-1]\n"
                      "KEY_1+ = EV_KEY_1\n";
    ProgramRun run(setup);
    run.WaitForLog("Airplanes\\Standin\\CommandMaping.ini");
    Device keypad(25, Identity("Brackenfold-Keypad", -1, "1.0", "0F"));
    // A model of its own kind without a section: its function name shows in the log.
    Device audio(26, Identity("Brackenfold-Audiopanel", -1, "1.0", "1F"));
    ASSERT_TRUE(keypad.WaitForCount("|", 1)) << "no ready line";
    ASSERT_TRUE(audio.WaitForCount("|", 1)) << "no ready line";

    size_t before = run.TransmissionCount("EV_KEY_1");
    keypad.Send("KEY_1=1");
    EXPECT_TRUE(run.WaitForTransmissions("EV_KEY_1", before + 1))
        << "the section [Brackenfold-Keypad#-1] was not bound";
    keypad.Send("KEY_9=1");
    EXPECT_TRUE(run.WaitForLog("Command from Brackenfold-Keypad with id -1 not mapped: KEY_9=1"));
    EXPECT_EQ(run.CountLog("Brackenfold-Keypad with id -1 has connected at port \\\\.\\COM25 "
                           "with version 1.0."),
              1u);
    EXPECT_EQ(run.CountLog("No Commands found for device -1Brackenfold-Keypad0F"), 0u);
    EXPECT_EQ(run.CountLog("No Commands found for device -1Brackenfold-Audiopanel1F of Hardware "
                           "Brackenfold-Audiopanel with Function -1"),
              1u);
    EXPECT_EQ(run.CountLog("No Indicator/Channel Mappings found for device "
                           "-1Brackenfold-Audiopanel1F of Hardware Brackenfold-Audiopanel with "
                           "Function -1"),
              1u);
    EXPECT_EQ(run.CountLog("4294967295"), 0u) << run.Log();
}
