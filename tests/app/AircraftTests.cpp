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

// One run whose simulator starts with the aircraft Trainer_A.
class AircraftMaps : public NavigatorRun<AircraftMaps> {
protected:
    static void SetUpTestSuite() {
        ProgramSetup setup;
        setup.standinArgs = {L"--aircraft", L"SimObjects\\Airplanes\\Trainer_A\\aircraft.cfg"};
        setup.globalMap = NavigatorSection("EV_GLOBAL", "BTN_G+ = EV_GLOBAL_ONLY\n");
        setup.userMap = NavigatorSection("EV_USER");
        setup.globalAircraftMaps["Trainer_A"] = NavigatorSection("EV_GLOBAL_AIRCRAFT");
        setup.userAircraftMaps["Trainer_A"] = NavigatorSection("EV_USER_AIRCRAFT");
        // Spelt like the other maps, which is not the user aircraft map's name.
        setup.otherPreferenceFiles[L"Airplanes\\Trainer_A\\CommandMapping.ini"] =
            NavigatorSection("EV_WRONG_FILE");
        StartRun(setup);
        nav->WaitForCount("|", 1);
    }
    void SetUp() override {
        NavigatorRun::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_GE(nav->Count("|"), 1u) << "the navigator was not registered";
    }

    // The events BTN_A sends now.
    static std::vector<std::string> PressSends() {
        const char* events[] = {"EV_GLOBAL", "EV_USER", "EV_GLOBAL_AIRCRAFT", "EV_USER_AIRCRAFT",
                                "EV_WRONG_FILE"};
        std::vector<size_t> before;
        for (const char* event : events)
            before.push_back(run->TransmissionCount(event));
        nav->Send("BTN_A=1");
        Sync();
        std::vector<std::string> sent;
        for (size_t i = 0; i < before.size(); ++i)
            if (run->TransmissionCount(events[i]) > before[i])
                sent.push_back(events[i]);
        return sent;
    }
};

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

TEST_F(AircraftMaps, AircraftChangeReloadsTheMapsButKeepsTitleAndBindings) {
    const std::string missing =
        Narrow(run->ExeFolder()) + "\\Airplanes\\Other_B\\CommandMapping.ini";
    run->SimCommand("aircraft SimObjects\\Airplanes\\Other_B\\aircraft.cfg");
    ASSERT_TRUE(WaitUntil([&] {
        for (const LogLine& line : run->LogLines())
            if (Lower(line.text).rfind(Lower("Unable to open " + missing), 0) == 0)
                return true;
        return false;
    })) << "the maps of Other_B were not read";
    WindowDriver window(main);
    EXPECT_EQ(window.Title(), std::string(kTitlePrefix) + "Trainer_A");
    EXPECT_EQ(PressSends(), std::vector<std::string>{"EV_USER_AIRCRAFT"})
        << "bindings change only at the next registration";
}

TEST_F(AircraftMaps, ReloadButtonRegistersTheDeviceAgainFromTheNewMaps) {
    WindowDriver window(main);
    window.ClickReload();
    ASSERT_TRUE(nav->WaitForCount("|", 2)) << "no second ready line";
    EXPECT_EQ(PressSends(), std::vector<std::string>{"EV_USER"});
}

TEST_F(AircraftMaps, TitleFollowsTheAircraftAtTheNextSimChange) {
    run->SimCommand("sim 0");
    WindowDriver window(main);
    EXPECT_TRUE(WaitUntil([&] { return window.Title() == std::string(kTitlePrefix) + "Other_B"; }))
        << "title: " << window.Title();
}
