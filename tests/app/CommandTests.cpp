// A registered navigator's command lines turned into simulator events, its LED
// line driven by simulator values, and the end of the program when the
// simulator quits.
#include <gtest/gtest.h>

#include <memory>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

const char kCommandMap[] = "[Brackenfold-WayfinderX#CN1]\n"
                           "MARK+ = EV_MARK\n"
                           "BTN_P+ = EV_PRESS#5\n"
                           "BTN_P- = EV_RELEASE#6\n"
                           "BTN_P = EV_ONCE#7\n"
                           "BTN_H = EV_HELD#9\n"
                           "POT_VOL = EV_POT#11\n"
                           "BTN_C@COND_VAR|Bool#1 = EV_COND#13\n"
                           "BTN_T = 1.5^EV_SHORT#21^EV_LONG#22\n"
                           "BTN_L = [L:MY.LVAR,H:MY_HEVENT]\n"
                           "<1 = LED_A|Bool#1\n"
                           "<2 = NOVAR\n"
                           "<3 = LED_C|Bool#0\n";

const uint32_t kFirstSend = 0x10; // group id is a priority
const uint32_t kRepeat = 0x12;    // ... and the fast-repeat flag

} // namespace

// One run with one navigator (function CN1) while the simulator is active.
class NavigatorCommands : public NavigatorRun<NavigatorCommands> {
public:
    static void Start() {
        ProgramSetup setup;
        setup.globalMap = kCommandMap;
        StartRun(setup);
        nav->WaitForCount("|", 1);
    }

protected:
    void SetUp() override {
        NavigatorRun::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(nav->Count("|"), 1u) << "the navigator was not registered";
    }

    // The LED line the device got last ("" when none).
    static std::string LastLeds() {
        std::vector<std::string> leds = nav->LedLines();
        return leds.empty() ? std::string() : leds.back();
    }
    static bool WaitForLastLeds(const std::string& line) {
        return WaitUntil([&] { return LastLeds() == line; });
    }
    // Every value the simulator sent before this has reached the program once it
    // returns: LED_A is flipped, and the simulator sends the new value after all the
    // earlier ones, which the program handles in order before its LED line can change.
    static void ValuesArrived() {
        std::string leds = LastLeds();
        ASSERT_EQ(leds.size(), 4u) << "no LED line yet";
        const char flipped = leds[1] == '1' ? '0' : '1';
        run->SimCommand(std::string("set LED_A = ") + flipped);
        leds[1] = flipped;
        ASSERT_TRUE(WaitForLastLeds(leds)) << "LED_A did not reach the device";
    }
};

TEST_F(NavigatorCommands, PressBindingSendsItsDataOnceBeforeTheOnceBinding) {
    nav->Send("BTN_P=1");
    ASSERT_TRUE(run->WaitForTransmissions("EV_ONCE", 1));
    Sync();
    std::vector<Transmission> press = Transmissions(run->Record(), "EV_PRESS");
    ASSERT_EQ(press.size(), 1u);
    EXPECT_EQ(press[0].data, 5u);
    EXPECT_EQ(press[0].flags, kFirstSend);
    std::vector<Transmission> once = Transmissions(run->Record(), "EV_ONCE");
    EXPECT_EQ(once[0].data, 7u);
    EXPECT_EQ(once[0].flags, kFirstSend);
    std::vector<std::string> lines = RecordLines(run->Record(), "TransmitClientEvent");
    size_t pressAt = lines.size(), onceAt = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (RecordField(lines[i], "Name") == "EV_PRESS" && pressAt == lines.size())
            pressAt = i;
        if (RecordField(lines[i], "Name") == "EV_ONCE" && onceAt == lines.size())
            onceAt = i;
    }
    EXPECT_LT(pressAt, onceAt);

    nav->Send("BTN_P=0");
    Sync();
    std::vector<Transmission> release = Transmissions(run->Record(), "EV_RELEASE");
    ASSERT_EQ(release.size(), 1u);
    EXPECT_EQ(release[0].data, 6u);
    EXPECT_EQ(run->TransmissionCount("EV_PRESS"), 1u);
    EXPECT_TRUE(Silent("EV_ONCE")) << "the once binding was not released by the 0";
}

TEST_F(NavigatorCommands, HeldEventRepeatsOnSixHzUntilReleased) {
    nav->Send("BTN_H=1");
    ASSERT_TRUE(run->WaitForTransmissions("EV_HELD", 4));
    std::vector<Transmission> held = Transmissions(run->Record(), "EV_HELD");
    EXPECT_EQ(held[0].flags, kFirstSend);
    for (size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(held[i].data, 9u);
        if (i > 0) {
            EXPECT_EQ(held[i].flags, kRepeat);
        }
    }
    nav->Send("BTN_H=0");
    Sync();
    EXPECT_TRUE(Silent("EV_HELD"));
}

TEST_F(NavigatorCommands, PotentiometerActsOnlyAtFullScale) {
    WindowDriver window(main);
    nav->Send("POT_VOL=512");
    std::vector<Row> rows;
    EXPECT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 1 && shown[0].message == "POT_VOL" &&
               shown[0].command == "(No Action)";
    }));
    Sync();
    EXPECT_EQ(run->TransmissionCount("EV_POT"), 0u);

    nav->Send("POT_VOL=1023");
    ASSERT_TRUE(run->WaitForTransmissions("EV_POT", 1));
    EXPECT_EQ(Transmissions(run->Record(), "EV_POT")[0].data, 11u);
    nav->Send("POT_VOL=1000");
    Sync();
    EXPECT_TRUE(Silent("EV_POT")) << "a reading below full scale releases";
}

TEST_F(NavigatorCommands, ConditionalActionActsOnlyWhileItsConditionHolds) {
    ASSERT_TRUE(run->Standin().WaitForRecord("\"COND_VAR\"=", 10000))
        << "the condition variable is not requested";
    nav->Send("BTN_C=1");
    nav->Send("BTN_C=0");
    Sync();
    EXPECT_EQ(run->TransmissionCount("EV_COND"), 0u);

    run->SimCommand("set COND_VAR = 1");
    ASSERT_TRUE(run->Standin().WaitForRecord("\"COND_VAR\"=\"1\"", 10000));
    ASSERT_NO_FATAL_FAILURE(ValuesArrived());
    nav->Send("BTN_C=1");
    ASSERT_TRUE(run->WaitForTransmissions("EV_COND", 1));
    EXPECT_EQ(Transmissions(run->Record(), "EV_COND")[0].data, 13u);
    nav->Send("BTN_C=0");
    Sync();
    EXPECT_TRUE(Silent("EV_COND"));
}

TEST_F(NavigatorCommands, ShortPressRunsOnlyTheShortAction) {
    size_t shortBefore = run->TransmissionCount("EV_SHORT");
    size_t longBefore = run->TransmissionCount("EV_LONG");
    nav->Send("BTN_T=1");
    nav->Send("BTN_T=0");
    ASSERT_TRUE(run->WaitForTransmissions("EV_SHORT", shortBefore + 1));
    Sync();
    std::vector<Transmission> shortPress = Transmissions(run->Record(), "EV_SHORT");
    ASSERT_EQ(shortPress.size(), shortBefore + 1);
    EXPECT_EQ(shortPress.back().data, 21u);
    EXPECT_EQ(run->TransmissionCount("EV_LONG"), longBefore);
}

TEST_F(NavigatorCommands, LongPressRunsTheLongActionOnceWhileHeld) {
    size_t shortBefore = run->TransmissionCount("EV_SHORT");
    size_t longBefore = run->TransmissionCount("EV_LONG");
    nav->Send("BTN_T=1");
    ASSERT_TRUE(run->WaitForTransmissions("EV_LONG", longBefore + 1, 15000));
    nav->Send("BTN_T=0");
    Sync();
    std::vector<Transmission> longPress = Transmissions(run->Record(), "EV_LONG");
    ASSERT_EQ(longPress.size(), longBefore + 1);
    EXPECT_EQ(longPress.back().data, 22u);
    EXPECT_EQ(run->TransmissionCount("EV_SHORT"), shortBefore)
        << "the release ran the short action";
}

TEST_F(NavigatorCommands, UnmappedCommandIsLoggedAndShownInItsRow) {
    nav->Send("BTN_NOPE=1");
    ASSERT_TRUE(run->WaitForLog("Command from Brackenfold-Wayfinder4 with id 1 not mapped: "
                                "BTN_NOPE=1"));
    for (const LogLine& line : run->LogLines()) {
        if (line.text.find("not mapped: BTN_NOPE=1") != std::string::npos) {
            EXPECT_EQ(line.level, "Warning");
        }
    }
    WindowDriver window(main);
    std::vector<Row> rows;
    EXPECT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 1 && shown[0].message == "BTN_NOPE" &&
               shown[0].command == "(Unmapped)";
    }));
}

TEST_F(NavigatorCommands, PrefixedNamesAreRegisteredWithTheHelperAndSent) {
    ASSERT_TRUE(run->Standin().WaitForRecord(
        "Kind=1 Name=\"MY.LVAR\" MappedName=\"BKF.MAPPED.MY_LVAR\"", 10000))
        << "the L: name never reached the helper";
    ASSERT_TRUE(run->Standin().WaitForRecord(
        "Kind=2 Name=\"MY_HEVENT\" MappedName=\"BKF.MAPPED.MY_HEVENT\"", 10000))
        << "the H: name never reached the helper";
    nav->Send("BTN_L=1");
    ASSERT_TRUE(run->WaitForTransmissions("BKF.MAPPED.MY_LVAR", 1));
    ASSERT_TRUE(run->WaitForTransmissions("BKF.MAPPED.MY_HEVENT", 1));
    WindowDriver window(main);
    std::vector<Row> rows;
    // The row names the event as the map writes it.
    EXPECT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 1 && shown[0].message == "BTN_L" &&
               shown[0].command == "H:MY_HEVENT";
    }));
    nav->Send("BTN_L=0");
    Sync();
}

TEST_F(NavigatorCommands, LedLineIsSentOnlyWhenACharacterChanges) {
    // LED_A lights at 1, the second entry has no variable, LED_C lights at 0; the
    // registration's line shows the fresh simulator's zeros.
    run->SimCommand("set LED_A = 0");
    run->SimCommand("set LED_C = 0");
    ASSERT_TRUE(WaitForLastLeds("<001")) << "LEDs: " << LastLeds();
    const size_t from = nav->LedLines().size() - 1;
    run->SimCommand("set LED_A = 1");
    ASSERT_TRUE(WaitForLastLeds("<101"));
    run->SimCommand("set LED_C = 5");
    ASSERT_TRUE(WaitForLastLeds("<100"));
    // A value that changes no character sends nothing: it has gone out in an earlier
    // message than the next one, so a line it caused would come before "<000".
    run->SimCommand("set LED_C = 7");
    ASSERT_TRUE(run->Standin().WaitForRecord("\"LED_C\"=\"7\"", 10000));
    run->SimCommand("set LED_A = 0");
    ASSERT_TRUE(WaitForLastLeds("<000"));
    std::vector<std::string> leds = nav->LedLines();
    EXPECT_EQ(std::vector<std::string>(leds.begin() + from, leds.end()),
              (std::vector<std::string>{"<001", "<101", "<100", "<000"}));
    // The row shows the LEDs as of the last refresh, which a command line brings.
    Sync();
    WindowDriver window(main);
    std::vector<Row> rows;
    EXPECT_TRUE(WaitForRows(window, rows, [](const std::vector<Row>& shown) {
        return shown.size() == 1 && shown[0].leds == "000";
    }));
}

TEST_F(NavigatorCommands, SimulatorQuitTurnsTheLedsOffAndEndsWithExitCode0) {
    run->SimCommand("set LED_A = 1");
    run->SimCommand("set LED_C = 5");
    ASSERT_TRUE(WaitForLastLeds("<100")) << "LEDs: " << LastLeds();
    run->SimCommand("quit");
    EXPECT_EQ(run->WaitExit(), 0);
    EXPECT_EQ(run->CountLog("simconnect: quit event received"), 1u);
    EXPECT_EQ(LastLeds(), "<000") << "the LEDs were not turned off";
}
