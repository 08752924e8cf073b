// The four levels of command maps for the loaded aircraft, the window title,
// an aircraft change and the reload button.
#include <gtest/gtest.h>

#include <memory>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

std::string NavigatorSection(const std::string& event, const std::string& extra = "") {
    return "[Brackenfold-WayfinderX#CN1]\nMARK+ = EV_MARK\nBTN_A+ = " + event + "\n" + extra;
}

const char kTitlePrefix[] = "Brackenfold Device Interface 2.0.1 - Aircraft: ";

} // namespace

// A run whose simulator starts with the aircraft Trainer_A; Suite has a run of its own.
template <typename Suite> class TrainerRun : public NavigatorRun<Suite> {
public:
    static void Start() {
        ProgramSetup setup;
        setup.standinArgs = {L"--aircraft", L"SimObjects\\Airplanes\\Trainer_A\\aircraft.cfg"};
        setup.globalMap = NavigatorSection("EV_GLOBAL", "BTN_G+ = EV_GLOBAL_ONLY\n");
        setup.userMap = NavigatorSection("EV_USER");
        setup.globalAircraftMaps["Trainer_A"] = NavigatorSection("EV_GLOBAL_AIRCRAFT");
        setup.userAircraftMaps["Trainer_A"] = NavigatorSection("EV_USER_AIRCRAFT");
        // Spelt like the other maps, which is not the user aircraft map's name.
        setup.otherPreferenceFiles[L"Airplanes\\Trainer_A\\CommandMapping.ini"] =
            NavigatorSection("EV_WRONG_FILE");
        Base::StartRun(setup);
        Base::nav->WaitForCount("|", 1);
        // The title names the aircraft once the simulator has answered.
        WindowDriver window(Base::main);
        WaitUntil([&] { return window.Title() == std::string(kTitlePrefix) + "Trainer_A"; });
    }

protected:
    using Base = NavigatorRun<Suite>;

    void SetUp() override {
        Base::SetUp();
        if (this->HasFatalFailure())
            return;
        ASSERT_GE(Base::nav->Count("|"), 1u) << "the navigator was not registered";
    }

    // The events BTN_A sends now.
    static std::vector<std::string> PressSends() {
        const char* events[] = {"EV_GLOBAL", "EV_USER", "EV_GLOBAL_AIRCRAFT", "EV_USER_AIRCRAFT",
                                "EV_WRONG_FILE"};
        std::vector<size_t> before;
        for (const char* event : events)
            before.push_back(Base::run->TransmissionCount(event));
        Base::nav->Send("BTN_A=1");
        Base::Sync();
        std::vector<std::string> sent;
        for (size_t i = 0; i < before.size(); ++i)
            if (Base::run->TransmissionCount(events[i]) > before[i])
                sent.push_back(events[i]);
        return sent;
    }
};

// The maps of the aircraft the simulator started with; the tests change nothing.
class AircraftMaps : public TrainerRun<AircraftMaps> {};

TEST_F(AircraftMaps, LoadsTheFourMapsInOrderForTheAircraftFolder) {
    const std::string exe = Narrow(run->ExeFolder());
    const std::string prefs = Narrow(PreferencesFolder());
    const std::vector<std::string> expected = {
        Lower(exe + "\\CommandMapping.ini"),
        Lower(prefs + "\\CommandMapping.ini"),
        Lower(exe + "\\Airplanes\\Trainer_A\\CommandMapping.ini"),
        Lower(prefs + "\\Airplanes\\Trainer_A\\CommandMaping.ini"),
    };
    std::vector<LogLine> lines = run->LogLines();
    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (Lower(lines[i].text) == "commandmapping: loaded " + expected[0])
            start = i;
    ASSERT_LT(start, lines.size());
    std::vector<std::string> loaded;
    for (size_t i = start; i < lines.size(); ++i)
        if (lines[i].text.rfind("CommandMapping: loaded ", 0) == 0)
            loaded.push_back(Lower(lines[i].text.substr(23)));
    EXPECT_EQ(loaded, expected);
}

TEST_F(AircraftMaps, TitleNamesTheAircraftFolder) {
    WindowDriver window(main);
    EXPECT_TRUE(WaitUntil([&] {
        return window.Title() == std::string(kTitlePrefix) + "Trainer_A";
    })) << "title: "
        << window.Title();
}

TEST_F(AircraftMaps, UserAircraftSectionWins) {
    EXPECT_EQ(PressSends(), std::vector<std::string>{"EV_USER_AIRCRAFT"});
}

TEST_F(AircraftMaps, LaterMapReplacesTheWholeSection) {
    nav->Send("BTN_G=1");
    EXPECT_TRUE(
        run->WaitForLog("Command from Brackenfold-Wayfinder4 with id 1 not mapped: BTN_G=1"));
    EXPECT_EQ(run->TransmissionCount("EV_GLOBAL_ONLY"), 0u);
}

// Aircraft changes in one run: each test changes to an aircraft of its own (none of
// which has maps) and checks what follows from that change.
class AircraftChange : public TrainerRun<AircraftChange> {
protected:
    // Changes the aircraft and waits until the program has looked for its maps.
    static void ChangeAircraft(const std::string& folder) {
        const std::string missing = Lower("Unable to open " + Narrow(run->ExeFolder()) +
                                          "\\Airplanes\\" + folder + "\\CommandMapping.ini");
        auto looks = [&] {
            size_t count = 0;
            for (const LogLine& line : run->LogLines())
                if (Lower(line.text).rfind(missing, 0) == 0)
                    ++count;
            return count;
        };
        size_t before = looks();
        run->SimCommand("aircraft SimObjects\\Airplanes\\" + folder + "\\aircraft.cfg");
        ASSERT_TRUE(WaitUntil([&] { return looks() > before; }))
            << "the maps of " << folder << " were not read";
    }
};

TEST_F(AircraftChange, AircraftChangeReloadsTheMapsButKeepsTitleAndBindings) {
    WindowDriver window(main);
    const std::string title = window.Title();
    const std::vector<std::string> sends = PressSends();
    ASSERT_NO_FATAL_FAILURE(ChangeAircraft("Other_B"));
    EXPECT_EQ(window.Title(), title);
    EXPECT_EQ(PressSends(), sends) << "bindings change only at the next registration";
}

TEST_F(AircraftChange, ReloadButtonRegistersTheDeviceAgainFromTheNewMaps) {
    ASSERT_NO_FATAL_FAILURE(ChangeAircraft("Other_C"));
    size_t ready = nav->Count("|");
    WindowDriver window(main);
    window.ClickReload();
    ASSERT_TRUE(nav->WaitForCount("|", ready + 1)) << "the device was not registered again";
    EXPECT_EQ(PressSends(), std::vector<std::string>{"EV_USER"});
}

TEST_F(AircraftChange, TitleFollowsTheAircraftAtTheNextSimChange) {
    ASSERT_NO_FATAL_FAILURE(ChangeAircraft("Other_D"));
    size_t ready = nav->Count("|");
    // Inactive and active again: the activation registers the device anew.
    run->SimCommand("sim 0");
    run->SimCommand("sim 1");
    WindowDriver window(main);
    EXPECT_TRUE(WaitUntil([&] { return window.Title() == std::string(kTitlePrefix) + "Other_D"; }))
        << "title: " << window.Title();
    EXPECT_TRUE(nav->WaitForCount("|", ready + 1)) << "the device was not registered again";
}
