// Registration as the simulator goes inactive and active, re-registration by
// the reload button, and held events when their actions go away.
#include <gtest/gtest.h>

#include <memory>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

const char kCommandMap[] = "[Brackenfold-WayfinderX#CN1]\n"
                           "MARK+ = EV_MARK\n"
                           "BTN_P+ = EV_PRESS\n"
                           "BTN_H = EV_HELD\n"
                           "<1 = LED_A|Bool#1\n"
                           "<2 = LED_B|Bool#1\n"
                           "<3 = LED_C|Bool#0\n"
                           "[Brackenfold-WayfinderX#CN2]\n"
                           "MARK+ = EV_MARK\n";

const char kKey[] = "1Brackenfold-Wayfinder40A";
const char kConnected[] = "Brackenfold-Wayfinder4 with id 1 has connected";

} // namespace

// One run whose simulator starts inactive. Each test sets the simulator state it
// starts from; the navigator is plugged again before a test when an earlier one
// unplugged it.
class SimState : public NavigatorRun<SimState> {
public:
    static void Start() {
        ProgramSetup setup;
        setup.globalMap = kCommandMap;
        setup.standinArgs = {L"--sim", L"0"};
        StartRun(setup);
        active = false;
        run->WaitForLog(kConnected);
    }

protected:
    void SetUp() override {
        NavigatorRun::SetUp();
        if (HasFatalFailure() || nav->Plugged())
            return;
        size_t connects = run->CountLog(kConnected);
        nav->Plug();
        ASSERT_TRUE(run->WaitForLogCount(kConnected, connects + 1))
            << "the navigator came not back";
        if (active) {
            ASSERT_TRUE(nav->WaitForCount("|", 1)) << "the navigator was not registered";
        }
    }

    static size_t Connecting() {
        return run->CountLog(std::string("SimActive: Connecting events to ") + kKey);
    }
    static size_t Disconnecting() {
        return run->CountLog(std::string("Sim Inactive: Disconnecting events to ") + kKey);
    }
    // The simulator becomes active (inactive) and the program has registered (removed)
    // the navigator; nothing happens when it already is.
    static void Activate() {
        if (active)
            return;
        size_t before = Connecting();
        run->SimCommand("sim 1");
        ASSERT_TRUE(WaitUntil([&] { return Connecting() > before; })) << "not registered";
        active = true;
    }
    static void Deactivate() {
        if (!active)
            return;
        size_t before = Disconnecting();
        run->SimCommand("sim 0");
        ASSERT_TRUE(WaitUntil([&] { return Disconnecting() > before; })) << "not removed";
        active = false;
    }
    // Holds EV_HELD and waits until it repeats.
    static void HoldEvent() {
        size_t before = run->TransmissionCount("EV_HELD");
        nav->Send("BTN_H=1");
        ASSERT_TRUE(run->WaitForTransmissions("EV_HELD", before + 3)) << "EV_HELD is not held";
    }
    // The LED line the navigator got last ("" when none).
    static std::string LastLeds() {
        std::vector<std::string> leds = nav->LedLines();
        return leds.empty() ? std::string() : leds.back();
    }

    static inline bool active = false;
};

TEST_F(SimState, DeviceConnectedWhileInactiveIsOnlyRecorded) {
    ASSERT_NO_FATAL_FAILURE(Deactivate());
    const std::string connected = "Brackenfold-Wayfinder5 with id 2 has connected";
    const std::string unmapped = "Command from Brackenfold-Wayfinder5 with id 2 not mapped: MARK=1";
    size_t connects = run->CountLog(connected);
    size_t unmappedBefore = run->CountLog(unmapped);
    size_t marks = run->TransmissionCount("EV_MARK");
    Device late(22, Identity("Brackenfold-Wayfinder5", 2, "1.2", "0B"));
    ASSERT_TRUE(run->WaitForLogCount(connected, connects + 1));
    late.Send("MARK=1");
    ASSERT_TRUE(run->WaitForLogCount(unmapped, unmappedBefore + 1));
    EXPECT_EQ(late.Count("|"), 0u);
    EXPECT_EQ(run->TransmissionCount("EV_MARK"), marks);
    const std::string disconnected = "Brackenfold-Wayfinder5 with id 2 has disconnected";
    size_t disconnects = run->CountLog(disconnected);
    late.Unplug();
    EXPECT_TRUE(run->WaitForLogCount(disconnected, disconnects + 1));
}

TEST_F(SimState, ActivationRegistersOnceAndDeactivationRemovesOnce) {
    ASSERT_NO_FATAL_FAILURE(Deactivate());
    const size_t connecting = Connecting(), disconnecting = Disconnecting();
    const size_t ready = nav->Count("|");
    const size_t unmapped = run->CountLog("not mapped: BTN_P=1");
    run->SimCommand("sim 1");
    ASSERT_TRUE(nav->WaitForCount("|", ready + 1));
    run->SimCommand("sim 1");
    run->SimCommand("sim 0");
    active = false;
    ASSERT_TRUE(WaitUntil([&] { return Disconnecting() > disconnecting; }));
    EXPECT_EQ(Connecting(), connecting + 1);
    EXPECT_EQ(Disconnecting(), disconnecting + 1);
    EXPECT_EQ(nav->Count("|"), ready + 1);
    nav->Send("BTN_P=1");
    EXPECT_TRUE(run->WaitForLogCount("not mapped: BTN_P=1", unmapped + 1))
        << "the bindings stayed while inactive";
}

TEST_F(SimState, ReloadWhileInactiveThenActivationBindsEachEventOnce) {
    ASSERT_NO_FATAL_FAILURE(Deactivate());
    WindowDriver window(main);
    size_t reloads = run->CountLog("CM Info:");
    window.ClickReload();
    ASSERT_TRUE(run->WaitForLogCount("CM Info:", reloads + 1)) << "the maps were not reloaded";
    ASSERT_NO_FATAL_FAILURE(Activate());
    Sync();
    size_t before = run->TransmissionCount("EV_PRESS");
    nav->Send("BTN_P=1");
    Sync();
    EXPECT_EQ(run->TransmissionCount("EV_PRESS"), before + 1) << "the press is bound twice";
    // LEDs bound twice would send every character twice over.
    run->SimCommand("set LED_A = 1");
    EXPECT_TRUE(WaitUntil([] { return LastLeds() == "<101"; })) << "LEDs: " << LastLeds();
    run->SimCommand("set LED_A = 0");
    EXPECT_TRUE(WaitUntil([] { return LastLeds() == "<001"; })) << "LEDs: " << LastLeds();
    for (const std::string& line : nav->LedLines())
        EXPECT_LE(line.size(), 4u) << "LED line " << line << " holds the LEDs twice";
}

TEST_F(SimState, HeldEventStopsWhenTheSimulatorGoesInactive) {
    ASSERT_NO_FATAL_FAILURE(Activate());
    ASSERT_NO_FATAL_FAILURE(HoldEvent());
    ASSERT_NO_FATAL_FAILURE(Deactivate());
    EXPECT_TRUE(Silent("EV_HELD")) << "the held event outlived its action";
}

TEST_F(SimState, HeldEventStopsWhenTheReloadButtonRebindsTheDevice) {
    ASSERT_NO_FATAL_FAILURE(Activate());
    ASSERT_NO_FATAL_FAILURE(HoldEvent());
    size_t ready = nav->Count("|");
    WindowDriver window(main);
    window.ClickReload();
    ASSERT_TRUE(nav->WaitForCount("|", ready + 1));
    EXPECT_TRUE(Silent("EV_HELD")) << "the held event outlived its action";
}

TEST_F(SimState, HeldEventStopsWhenTheDeviceDisconnects) {
    ASSERT_NO_FATAL_FAILURE(Activate());
    ASSERT_NO_FATAL_FAILURE(HoldEvent());
    const std::string disconnected = "Brackenfold-Wayfinder4 with id 1 has disconnected";
    size_t disconnects = run->CountLog(disconnected);
    nav->Unplug();
    ASSERT_TRUE(run->WaitForLogCount(disconnected, disconnects + 1));
    EXPECT_TRUE(Silent("EV_HELD")) << "the held event outlived its device";
}
