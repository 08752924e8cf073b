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
                           "<3 = LED_C|Bool#0\n";

const char kKey[] = "1Brackenfold-Wayfinder40A";

} // namespace

// One run whose simulator starts inactive.
class SimState : public NavigatorRun<SimState> {
protected:
    static void SetUpTestSuite() {
        ProgramSetup setup;
        setup.globalMap = kCommandMap;
        setup.standinArgs = {L"--sim", L"0"};
        StartRun(setup);
    }

    static size_t Connecting() {
        return run->CountLog(std::string("SimActive: Connecting events to ") + kKey);
    }
    static size_t Disconnecting() {
        return run->CountLog(std::string("Sim Inactive: Disconnecting events to ") + kKey);
    }
    // Holds EV_HELD and waits until it repeats.
    static void HoldEvent() {
        size_t before = run->TransmissionCount("EV_HELD");
        nav->Send("BTN_H=1");
        ASSERT_TRUE(run->WaitForTransmissions("EV_HELD", before + 3)) << "EV_HELD is not held";
    }
};

TEST_F(SimState, DeviceConnectedWhileInactiveIsOnlyRecorded) {
    ASSERT_TRUE(run->WaitForLog("Brackenfold-Wayfinder4 with id 1 has connected"));
    nav->Send("MARK=1");
    ASSERT_TRUE(
        run->WaitForLog("Command from Brackenfold-Wayfinder4 with id 1 not mapped: MARK=1"));
    EXPECT_EQ(nav->Count("|"), 0u);
    EXPECT_EQ(run->TransmissionCount("EV_MARK"), 0u);
}

TEST_F(SimState, ActivationRegistersOnceAndDeactivationRemovesOnce) {
    run->SimCommand("sim 1");
    ASSERT_TRUE(nav->WaitForCount("|", 1));
    run->SimCommand("sim 1");
    run->SimCommand("sim 0");
    ASSERT_TRUE(
        run->WaitForLogCount(std::string("Sim Inactive: Disconnecting events to ") + kKey, 1));
    EXPECT_EQ(Connecting(), 1u);
    EXPECT_EQ(Disconnecting(), 1u);
    EXPECT_EQ(nav->Count("|"), 1u);
    nav->Send("BTN_P=1");
    EXPECT_TRUE(run->WaitForLog("not mapped: BTN_P=1")) << "the bindings stayed while inactive";
}

TEST_F(SimState, ReloadWhileInactiveThenActivationBindsEachEventOnce) {
    WindowDriver window(main);
    size_t reloads = run->CountLog("CM Info:");
    window.ClickReload();
    ASSERT_TRUE(run->WaitForLogCount("CM Info:", reloads + 1)) << "the maps were not reloaded";
    run->SimCommand("sim 1");
    ASSERT_TRUE(run->WaitForLogCount(std::string("SimActive: Connecting events to ") + kKey, 2));
    Sync();
    size_t before = run->TransmissionCount("EV_PRESS");
    nav->Send("BTN_P=1");
    Sync();
    EXPECT_EQ(run->TransmissionCount("EV_PRESS"), before + 1) << "the press is bound twice";
    Sleep(500); // a few frames for the LED line
    std::vector<std::string> leds = nav->LedLines();
    ASSERT_FALSE(leds.empty());
    EXPECT_EQ(leds.back(), "<001");
    for (const std::string& line : leds)
        EXPECT_LE(line.size(), 4u) << "LED line " << line << " holds the LEDs twice";
}

TEST_F(SimState, HeldEventStopsWhenTheSimulatorGoesInactive) {
    HoldEvent();
    run->SimCommand("sim 0");
    ASSERT_TRUE(
        run->WaitForLogCount(std::string("Sim Inactive: Disconnecting events to ") + kKey, 2));
    EXPECT_TRUE(Silent("EV_HELD")) << "the held event outlived its action";
}

TEST_F(SimState, HeldEventStopsWhenTheReloadButtonRebindsTheDevice) {
    run->SimCommand("sim 1");
    ASSERT_TRUE(run->WaitForLogCount(std::string("SimActive: Connecting events to ") + kKey, 3));
    HoldEvent();
    size_t ready = nav->Count("|");
    WindowDriver window(main);
    window.ClickReload();
    ASSERT_TRUE(nav->WaitForCount("|", ready + 1));
    EXPECT_TRUE(Silent("EV_HELD")) << "the held event outlived its action";
}

TEST_F(SimState, HeldEventStopsWhenTheDeviceDisconnects) {
    HoldEvent();
    nav->Unplug();
    ASSERT_TRUE(run->WaitForLog("Brackenfold-Wayfinder4 with id 1 has disconnected"));
    EXPECT_TRUE(Silent("EV_HELD")) << "the held event outlived its device";
}
