// Device messages reaching the application: panel functions, DeviceMapping.ini,
// registration and removal, and commands.

#include "PluginTestSupport.h"

#include <algorithm>

namespace {

const std::string kNavigator = "Brackenfold-Wayfinder4";
const std::string kNavigator2 = "Brackenfold-Wayfinder5";
const std::string kKeypad = "Brackenfold-Keypad";

const char* const kNavigatorMap = "[Brackenfold-WayfinderX#CN1]\n"
                                  "BTN_A+ = EV_PRESS#3\n"
                                  "BTN_A- = EV_RELEASE\n"
                                  "BTN_A = EV_ONCE\n"
                                  "BTN_L = L:MY_VAR\n"
                                  "<1 = LIGHT A|bool#1\n"
                                  "<2 = NOVAR\n"
                                  "<3 = LIGHT B|bool#0\n";

size_t CountLines(const std::vector<std::string>& texts, const std::string& prefix) {
    return std::count_if(texts.begin(), texts.end(), [&](const std::string& text) {
        return text.compare(0, prefix.size(), prefix) == 0;
    });
}

} // namespace

TEST_F(PluginTest, NewDevicesGetDefaultFunctionsAndAreStored) {
    Connect(kNavigator, 1, "COM1", "A1");
    Connect(kNavigator2, 2, "COM2", "A2");
    Connect(kNavigator, 3, "COM3", "A3");
    ASSERT_EQ(gPlugin->devices.size(), 3u);
    EXPECT_EQ(gPlugin->devices.at("1" + kNavigator + "A1").Function(), 1);
    EXPECT_EQ(gPlugin->devices.at("2" + kNavigator2 + "A2").Function(), 2)
        << "an interchangeable navigator takes the next free function";
    EXPECT_EQ(gPlugin->devices.at("3" + kNavigator + "A3").Function(), 1)
        << "all taken: the smallest allowed function again";
    EXPECT_TRUE(HasLine("Brackenfold-Wayfinder4 with id 1 has connected at port COM1 with "
                        "version 1.2."));
    EXPECT_TRUE(HasLine("Is a new device or had an invalid function in the DeviceMapping.  "
                        "Assigning default function"));
    EXPECT_TRUE(HasLine("Assigning 2Brackenfold-Wayfinder5A2 function CN2"));
    std::string stored = ReadDeviceMap();
    EXPECT_NE(stored.find("Port=COM2"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Model=Brackenfold-Wayfinder5"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Id=A3"), std::string::npos) << stored;

    // A model without panel functions: function 0, no "Assigning" line, still stored.
    log->Clear();
    Connect(kKeypad, 4, "COM4", "A4");
    EXPECT_EQ(gPlugin->devices.at("4" + kKeypad + "A4").Function(), 0);
    EXPECT_EQ(CountLines(Texts(), "Assigning "), 0u);
    EXPECT_NE(ReadDeviceMap().find("Model=Brackenfold-Keypad"), std::string::npos);
}

TEST_F(PluginTest, StoredFunctionIsHonouredAndAFileIsWrittenOnlyForNewDevices) {
    WriteFile(DeviceMapPath(), "[0]\r\nPort=COM1\r\nModel=Brackenfold-Wayfinder4\r\n"
                               "Function=2\r\nId=A1\r\n"
                               "[1]\r\nPort=COM2\r\nModel=Brackenfold-Wayfinder4\r\n"
                               "Function=5\r\nId=A2\r\n");
    gPlugin->settings->LoadDeviceMap();
    std::string before = ReadDeviceMap();
    Connect(kNavigator, 1, "COM1", "A1");
    EXPECT_EQ(gPlugin->devices.at("1" + kNavigator + "A1").Function(), 2);
    EXPECT_EQ(ReadDeviceMap(), before) << "a usable entry is not written again";
    EXPECT_EQ(CountLines(Texts(), "Is a new device"), 0u);

    Connect(kNavigator, 2, "COM2", "A2");
    EXPECT_TRUE(HasLine("Got connect for COM2 (Brackenfold-Wayfinder4) with function 5, but "
                        "function was rejected"));
    EXPECT_EQ(gPlugin->devices.at("2" + kNavigator + "A2").Function(), 1);
    EXPECT_NE(ReadDeviceMap().find("Function=1"), std::string::npos);
}

TEST_F(PluginTest, ConnectForAKnownKeyKeepsTheRecord) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kNavigator, 1, "COM1", "A1");
    DeviceRecord& record = gPlugin->devices.at("1" + kNavigator + "A1");
    record.SetFunction(1, true);
    Command(kNavigator, 1, "A1", "BTN_A=1");
    Connect(kNavigator, 1, "COM1", "A1");
    EXPECT_EQ(gPlugin->devices.size(), 1u);
    EXPECT_EQ(gPlugin->devices.at("1" + kNavigator + "A1").LastCommand(), "BTN_A");
}

TEST_F(PluginTest, RegistrationBindsTheSectionOnceWhateverCallsIt) {
    LoadCommandMap(kNavigatorMap);
    Connect(kNavigator, 1, "COM1", "A1");
    const std::string key = "1" + kNavigator + "A1";
    EXPECT_EQ(gPlugin->devices.at(key).ActionCount(), 0u) << "inactive simulator: only recorded";

    gPlugin->SetSimActive(true);
    const DeviceRecord& record = gPlugin->devices.at(key);
    EXPECT_EQ(record.ActionCount(), 4u);
    EXPECT_EQ(record.LedCount(), 3u) << "the LED without a variable keeps its place";
    EXPECT_TRUE(HasLine("SimActive: Connecting events to " + key));
    EXPECT_TRUE(HasLine("Resolving commands for line: BTN_A+"));
    EXPECT_TRUE(HasLine("Resolving commands for line: BTN_A "));

    // A reload while inactive, then activation: still one binding each.
    gPlugin->SetSimActive(false);
    EXPECT_EQ(record.ActionCount(), 0u);
    gPlugin->ReregisterAllDevices();
    gPlugin->SetSimActive(true);
    EXPECT_EQ(record.ActionCount(), 4u);
    EXPECT_EQ(record.LedCount(), 3u);
    gPlugin->RegisterEvents(key);
    EXPECT_EQ(record.ActionCount(), 4u);

    // A press sends the event once.
    gPlugin->holdQueue.Tick();
    Command(kNavigator, 1, "A1", "BTN_A=1");
    EXPECT_EQ(HeldEvents(), (std::vector<std::pair<uint32_t, uint32_t>>{{EventId("EV_ONCE"), 0}}))
        << "the press binding was pressed and released, the once binding holds";
}

TEST_F(PluginTest, HeldEventsEndWithTheirActions) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kNavigator, 1, "COM1", "A1");
    Command(kNavigator, 1, "A1", "BTN_A=1");
    ASSERT_FALSE(HeldEvents().empty());
    gPlugin->SetSimActive(false);
    EXPECT_TRUE(HeldEvents().empty()) << "removal while the button is down";

    gPlugin->SetSimActive(true);
    Command(kNavigator, 1, "A1", "BTN_A=1");
    ASSERT_FALSE(HeldEvents().empty());
    gPlugin->ReregisterAllDevices();
    EXPECT_TRUE(HeldEvents().empty()) << "re-registration while the button is down";

    Command(kNavigator, 1, "A1", "BTN_A=1");
    ASSERT_FALSE(HeldEvents().empty());
    Disconnect(kNavigator, 1, "COM1", "A1");
    EXPECT_TRUE(HeldEvents().empty()) << "disconnect while the button is down";
    EXPECT_TRUE(gPlugin->devices.empty());

    Connect(kNavigator, 1, "COM1", "A1");
    Command(kNavigator, 1, "A1", "BTN_A=1");
    ASSERT_FALSE(HeldEvents().empty());
    gPlugin->SetDeviceFunction("1" + kNavigator + "A1", 2);
    EXPECT_TRUE(HeldEvents().empty()) << "function change while the button is down";
}

TEST_F(PluginTest, UnitIdMinusOneReachesItsBindings) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kNavigator, -1, "COM1", "A1");
    ASSERT_EQ(gPlugin->devices.count("-1" + kNavigator + "A1"), 1u);
    Command(kNavigator, -1, "A1", "BTN_A=1");
    EXPECT_EQ(CountLines(Texts(), "asked to process command"), 0u);
    EXPECT_FALSE(HeldEvents().empty());
}

TEST_F(PluginTest, CommandsWithoutBindingOrDevice) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kNavigator, 7, "COM1", "A1");
    Command(kNavigator, 7, "A1", "XYZ=1");
    EXPECT_TRUE(HasLine("Command from Brackenfold-Wayfinder4 with id 7 not mapped: XYZ=1"));
    EXPECT_EQ(gPlugin->devices.at("7" + kNavigator + "A1").LastAction(), "(Unmapped)");
    Command(kNavigator, 8, "A1", "BTN_A=1");
    EXPECT_TRUE(
        HasLine("asked to process command for non-existant device (8" + kNavigator + "A1)"));
    Disconnect(kNavigator, 9, "COM9", "A9");
    EXPECT_TRUE(HasLine("Brackenfold-Wayfinder4 with id 9 has disconnected from port COM9."));
    EXPECT_TRUE(
        HasLine("Asked to RemoveEvents for id 9" + kNavigator + "A9, but device is not known"));
    EXPECT_EQ(gPlugin->devices.size(), 1u);
}

TEST_F(PluginTest, SectionlessDeviceAndCustomEventNames) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kKeypad, 4, "COM4", "A4");
    EXPECT_TRUE(HasLine("No Commands found for device 4" + kKeypad +
                        "A4 of Hardware Brackenfold-Keypad with Function 4"));
    EXPECT_TRUE(HasLine("No Indicator/Channel Mappings found for device 4" + kKeypad +
                        "A4 of Hardware Brackenfold-Keypad with Function 4"));

    gPlugin->registrationPending = false;
    Connect(kNavigator, 1, "COM1", "A1");
    EXPECT_TRUE(gPlugin->registrationPending);
    Command(kNavigator, 1, "A1", "BTN_L");
    EXPECT_EQ(gPlugin->devices.at("1" + kNavigator + "A1").LastAction(), "L:MY_VAR")
        << "an L: action describes itself by the name as written";
    EXPECT_GT(gPlugin->eventMapper.PendingCount(), 0u);
}

TEST_F(PluginTest, SetDeviceFunctionStoresAndReregisters) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kNavigator, 1, "COM1", "A1");
    const std::string key = "1" + kNavigator + "A1";
    EXPECT_EQ(gPlugin->devices.at(key).ActionCount(), 4u);
    gPlugin->SetDeviceFunction(key, 2);
    EXPECT_EQ(gPlugin->devices.at(key).Function(), 2);
    EXPECT_EQ(gPlugin->devices.at(key).ActionCount(), 0u) << "no CN2 section";
    EXPECT_NE(ReadDeviceMap().find("Function=2"), std::string::npos);
    gPlugin->SetDeviceFunction(key, 5);
    EXPECT_EQ(gPlugin->devices.at(key).Function(), 2) << "a refused function changes nothing";
}

TEST_F(PluginTest, HandlersToleratePartsThatAreGone) {
    gPlugin->settings.reset();
    Connect(kNavigator, 1, "COM1", "A1");
    gPlugin->SetSimActive(true);
    Command(kNavigator, 1, "A1", "BTN_A=1");
    gPlugin->SetDeviceFunction("1" + kNavigator + "A1", 2);
    gPlugin->RecalibrateYokes();
    gPlugin->OnFrame();
    gPlugin->ReregisterAllDevices();
    EXPECT_EQ(gPlugin->devices.size(), 1u);
}

TEST_F(PluginTest, TeardownWithAButtonDownEndsCleanly) {
    LoadCommandMap(kNavigatorMap);
    gPlugin->SetSimActive(true);
    Connect(kNavigator, 1, "COM1", "A1");
    Command(kNavigator, 1, "A1", "BTN_A=1");
    ASSERT_FALSE(HeldEvents().empty());
    const std::wstring deviceMap = DeviceMapPath();
    // The global is already empty while the application is destroyed; the
    // actions dropped then release their events all the same.
    gPlugin.reset();
    DeleteFileW(deviceMap.c_str());
    EXPECT_TRUE(HasLine("simconnect: disconnected from simulator"));
}
