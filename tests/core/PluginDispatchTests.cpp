// Simulator messages reaching the application, built by hand: their fields are
// read only within the message, and they drive registration and the maps.

#include "PluginTestSupport.h"

#include "sim_link/StandinLink.h"

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes MessageBytes(uint32_t id, std::initializer_list<uint32_t> fields, uint32_t size = 0) {
    Bytes bytes(std::max<size_t>(size, 12 + 4 * fields.size()), 0);
    uint32_t header[3] = {static_cast<uint32_t>(bytes.size()), 5, id};
    std::memcpy(bytes.data(), header, sizeof header);
    size_t offset = 12;
    for (uint32_t field : fields) {
        std::memcpy(bytes.data() + offset, &field, 4);
        offset += 4;
    }
    return bytes;
}

void PutText(Bytes& bytes, size_t offset, const std::string& text) {
    std::memcpy(bytes.data() + offset, text.data(), std::min(text.size(), bytes.size() - offset));
}

void Dispatch(const Bytes& bytes) {
    gPlugin->DispatchSimConnect(reinterpret_cast<const SIMCONNECT_RECV*>(bytes.data()),
                                static_cast<uint32_t>(bytes.size()));
}

// Starts the simulator link without a simulator: the events exist, the open fails.
class DispatchTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        try {
            gPlugin->Start();
            FAIL() << "no simulator is running";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "simconnect: cannot connect to simulator");
        }
    }

    void SimState(uint32_t active) {
        Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EVENT,
                              {0xFFFFFFFF, gPlugin->simStateEvent->Id(), active}));
    }
};

} // namespace

TEST_F(DispatchTest, FailedOpenIsLoggedAsAnError) {
    EXPECT_EQ(LogTexts(*log, BKFLog::LevelError),
              (std::vector<std::string>{"simconnect: cannot connect to simulator"}));
    EXPECT_EQ(gPlugin->simConnect, nullptr);
}

TEST_F(DispatchTest, ShortMessagesAreReadWithinTheirSize) {
    const uint32_t aircraft = gPlugin->aircraftLoadedEvent->Id();
    // A file name message cut before its name, and one whose name fills it unterminated.
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EVENT_FILENAME, {0xFFFFFFFF, aircraft, 0}));
    EXPECT_EQ(gPlugin->aircraftPath, "");
    Bytes full = MessageBytes(SIMCONNECT_RECV_ID_EVENT_FILENAME, {0xFFFFFFFF, aircraft, 0}, 30);
    PutText(full, 24, "ABCDEFGH");
    Dispatch(full);
    EXPECT_EQ(gPlugin->aircraftPath, "ABCDEF");

    Bytes state = MessageBytes(SIMCONNECT_RECV_ID_SYSTEM_STATE, {0, 0, 0}, 24 + MAX_PATH + 40);
    PutText(state, 24, std::string(MAX_PATH + 40, 'x'));
    Dispatch(state);
    EXPECT_EQ(gPlugin->aircraftPath, std::string(MAX_PATH, 'x'));
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_SYSTEM_STATE, {0, 0, 0}));
    EXPECT_EQ(gPlugin->aircraftPath, "") << "a state answer without its string";

    // Too short for the fields that decide anything: ignored.
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_SYSTEM_STATE, {1}));
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EVENT, {0xFFFFFFFF, gPlugin->simStateEvent->Id()}));
    EXPECT_FALSE(gPlugin->simActive);
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EXCEPTION, {}));
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EXCEPTION, {99, 7, 2}));
    EXPECT_TRUE(HasLine("simconnect: exception type 'UNKNOWN_EXCEPTION' thrown - SendID: 7 "
                        "[Index: 2]"));
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EXCEPTION, {1, 3, 4}));
    EXPECT_TRUE(HasLine("simconnect: exception type 'SIMCONNECT_EXCEPTION_ERROR' thrown - "
                        "SendID: 3 [Index: 4]"));
}

TEST_F(DispatchTest, SimStateSwitchesRegistrationOnceEachWay) {
    LoadCommandMap("[Brackenfold-WayfinderX#CN1]\nBTN = EV_ONE\n");
    Connect("Brackenfold-Wayfinder4", 1, "COM1", "A1");
    SimState(0);
    SimState(1);
    SimState(1);
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_SYSTEM_STATE, {1, 1, 0}));
    SimState(0);
    auto texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "SimActive: Connecting events to 1Brackenfold-Wayfinder4A1"),
              1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "Sim Inactive: Disconnecting events to 1Brackenfold-Wayfinder4A1"),
              1);
    EXPECT_TRUE(HasLine("simconnect: got sim active = 1"));
}

TEST_F(DispatchTest, AircraftPathReloadsTheFourMapsInOrder) {
    log->Clear();
    Bytes state = MessageBytes(SIMCONNECT_RECV_ID_SYSTEM_STATE, {0, 0, 0}, 24 + MAX_PATH);
    PutText(state, 24, "SimObjects\\Airplanes\\Trainer_A\\aircraft.cfg");
    Dispatch(state);
    EXPECT_TRUE(HasLine("simconnect: got state notifcation for aircraft: "
                        "SimObjects\\Airplanes\\Trainer_A\\aircraft.cfg"));
    std::vector<std::string> opened;
    for (const std::string& text : Texts())
        if (text.rfind("Unable to open ", 0) == 0)
            opened.push_back(text.substr(15, text.find(':', 17) - 15));
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_NE(opened[1].find("Brackenfold MSFS Device Interface\\CommandMapping.ini"),
              std::string::npos);
    EXPECT_NE(opened[2].find("\\Airplanes\\Trainer_A\\CommandMapping.ini"), std::string::npos);
    EXPECT_NE(opened[3].find("Brackenfold MSFS Device Interface\\Airplanes\\Trainer_A\\"
                             "CommandMaping.ini"),
              std::string::npos);
    EXPECT_EQ(gPlugin->settings->AircraftFolderName(), L"Trainer_A");

    // The same path as an event reloads too.
    log->Clear();
    Bytes file = MessageBytes(SIMCONNECT_RECV_ID_EVENT_FILENAME,
                              {0xFFFFFFFF, gPlugin->aircraftLoadedEvent->Id(), 0}, 24 + MAX_PATH);
    PutText(file, 24, "Other\\aircraft.cfg");
    Dispatch(file);
    EXPECT_EQ(gPlugin->aircraftPath, "Other\\aircraft.cfg");
    EXPECT_TRUE(HasLine("CM Info:"));
}

TEST_F(DispatchTest, FrameClearsThePendingRegistrationAndSixHertzRepeats) {
    gPlugin->registrationPending = true;
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EVENT_FRAME,
                          {0xFFFFFFFF, gPlugin->frameEvent->Id(), 0, 0, 0}));
    EXPECT_FALSE(gPlugin->registrationPending) << "nothing to register";

    auto event = gPlugin->clientEvents.GetSimEvent("EV_HELD");
    gPlugin->holdQueue.Hold(event, 4);
    EXPECT_TRUE(gPlugin->holdQueue.Held().empty());
    Dispatch(MessageBytes(SIMCONNECT_RECV_ID_EVENT, {0xFFFFFFFF, gPlugin->sixHzEvent->Id(), 0}));
    EXPECT_EQ(gPlugin->holdQueue.Held().size(), 1u);
}
