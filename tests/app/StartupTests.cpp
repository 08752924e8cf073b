// Start-up of the program against the stand-in simulator, the refused starts,
// and the ways the program ends or does not end.
#include <gtest/gtest.h>

#include <memory>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

const char kTitleWithStandinAircraft[] = "Brackenfold Device Interface 2.0.1 - Aircraft: Standin";

// Index of the first record line that contains the text, or -1.
int RecordIndex(const std::vector<std::string>& lines, const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos)
            return int(i);
    return -1;
}

} // namespace

// One run with no device and no command maps; the tests read what it did. A
// test that ends the program leaves the next one a new run.
class StartedProgram : public ::testing::Test {
protected:
    static void TearDownTestSuite() { run.reset(); }

    void SetUp() override {
        if (!run || run->Ended()) {
            run.reset();
            run = std::make_unique<ProgramRun>(ProgramSetup{});
            main = run->MainWindow();
            // The aircraft's command maps are read once the simulator answered.
            run->WaitForLog("Airplanes\\Standin\\CommandMaping.ini");
        }
        ASSERT_NE(main, nullptr) << "the main window did not appear";
    }

    // Every record line in order.
    static std::vector<std::string> Requests() { return SplitLines(run->Record()); }
    // The client event id a request line gave to a name.
    static std::string EventIdOf(const std::string& function, const std::string& nameField,
                                 const std::string& name) {
        for (const std::string& line : RecordLines(run->Record(), function))
            if (RecordField(line, nameField) == name)
                return RecordField(line, "EventID");
        return "";
    }

    static std::unique_ptr<ProgramRun> run;
    static HWND main;
};

std::unique_ptr<ProgramRun> StartedProgram::run;
HWND StartedProgram::main = nullptr;

TEST_F(StartedProgram, OpensTheSimulatorConnectionUnderTheProgramName) {
    std::vector<std::string> opens = RecordLines(run->Record(), "Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(RecordField(opens[0], "szName"), "Brackenfold Device Interface");
}

TEST_F(StartedProgram, SubscribesTheFourSystemEventsWithIdsInStartOrder) {
    std::vector<std::string> subscriptions = RecordLines(run->Record(), "SubscribeToSystemEvent");
    ASSERT_EQ(subscriptions.size(), 4u);
    std::vector<int> ids;
    for (const char* name : {"AircraftLoaded", "Sim", "Frame", "6Hz"}) {
        std::string id = EventIdOf("SubscribeToSystemEvent", "SystemEventName", name);
        ASSERT_FALSE(id.empty()) << name << " is not subscribed";
        ids.push_back(std::stoi(id));
    }
    // Ids are handed out in the order the events were asked for.
    for (size_t i = 1; i < ids.size(); ++i)
        EXPECT_LT(ids[i - 1], ids[i]);
    EXPECT_GE(ids[0], 2);
}

TEST_F(StartedProgram, MapsItsOwnClientEventsIntoOneGroupOfHighestPriority) {
    std::string show = EventIdOf("MapClientEventToSimEvent", "EventName", "BKF.PLGN.Show");
    std::string yoke =
        EventIdOf("MapClientEventToSimEvent", "EventName", "BKF.PLGN.RidgelineYokeSettings");
    ASSERT_FALSE(show.empty());
    ASSERT_FALSE(yoke.empty());
    std::string sixHz = EventIdOf("SubscribeToSystemEvent", "SystemEventName", "6Hz");
    ASSERT_FALSE(sixHz.empty());
    EXPECT_LT(std::stoi(sixHz), std::stoi(show)) << "the system events come first";
    EXPECT_LT(std::stoi(show), std::stoi(yoke));

    std::vector<std::string> lines = Requests();
    std::string group;
    int showAt = -1, yokeAt = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(" AddClientEventToNotificationGroup ") == std::string::npos)
            continue;
        if (RecordField(lines[i], "EventID") == show) {
            showAt = int(i);
            group = RecordField(lines[i], "GroupID");
        }
        if (RecordField(lines[i], "EventID") == yoke) {
            yokeAt = int(i);
            EXPECT_EQ(RecordField(lines[i], "GroupID"), group);
        }
    }
    ASSERT_GE(showAt, 0) << "BKF.PLGN.Show is in no group";
    ASSERT_GE(yokeAt, 0) << "BKF.PLGN.RidgelineYokeSettings is in no group";
    EXPECT_LT(showAt, yokeAt);

    int priorityAt = -1;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(" SetNotificationGroupPriority ") != std::string::npos &&
            RecordField(lines[i], "GroupID") == group) {
            priorityAt = int(i);
            EXPECT_EQ(RecordField(lines[i], "uPriority"), "1");
        }
    ASSERT_GE(priorityAt, 0) << "the group gets no priority";
    EXPECT_LT(yokeAt, priorityAt);
}

TEST_F(StartedProgram, RequestsTheAircraftStateThenTheSimStateOnceSetUp) {
    std::vector<std::string> states = RecordLines(run->Record(), "RequestSystemState");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(RecordField(states[0], "RequestID"), "0");
    EXPECT_EQ(RecordField(states[0], "szState"), "AircraftLoaded");
    EXPECT_EQ(RecordField(states[1], "RequestID"), "1");
    EXPECT_EQ(RecordField(states[1], "szState"), "Sim");

    std::vector<std::string> lines = Requests();
    int firstState = RecordIndex(lines, " RequestSystemState ");
    for (const char* setup :
         {" SubscribeToSystemEvent ", " MapClientEventToSimEvent ",
          " AddClientEventToNotificationGroup ", " SetNotificationGroupPriority "}) {
        int last = -1;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find(setup) != std::string::npos)
                last = int(i);
        EXPECT_LT(last, firstState) << setup << "comes after the state requests";
    }
}

TEST_F(StartedProgram, LogFileBeginsWithTheNameAndVersion) {
    std::vector<LogLine> lines = run->LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].level, "Info");
    EXPECT_EQ(lines[0].text, "Brackenfold Device Interface 2.0.1.0");
}

TEST_F(StartedProgram, ReadsTheFourCommandMapLevelsInOrderForTheLoadedAircraft) {
    const std::string exe = Narrow(run->ExeFolder());
    const std::string prefs = Narrow(PreferencesFolder());
    const std::vector<std::string> expected = {
        exe + "\\CommandMapping.ini",
        prefs + "\\CommandMapping.ini",
        exe + "\\Airplanes\\Standin\\CommandMapping.ini",
        prefs + "\\Airplanes\\Standin\\CommandMaping.ini",
    };
    std::vector<LogLine> lines = run->LogLines();
    // The last load of the global map starts the reload for the aircraft.
    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (Lower(lines[i].text) == Lower("Attempting to load CommandMap " + expected[0]))
            start = i;
    ASSERT_LT(start, lines.size()) << "the global map was never read";
    std::vector<std::string> attempts;
    std::vector<std::string> failures;
    for (size_t i = start; i < lines.size(); ++i) {
        const std::string& text = lines[i].text;
        if (text.rfind("Attempting to load CommandMap ", 0) == 0)
            attempts.push_back(Lower(text.substr(30)));
        if (text.rfind("Unable to open ", 0) == 0)
            failures.push_back(Lower(text.substr(15, text.find(": ") - 15)));
    }
    std::vector<std::string> lowered;
    for (const std::string& path : expected)
        lowered.push_back(Lower(path));
    EXPECT_EQ(attempts, lowered);
    EXPECT_EQ(failures, lowered) << "every missing map is reported";
}

TEST_F(StartedProgram, TitleShowsTheShortVersionAndTheAircraftFolder) {
    WindowDriver window(main);
    EXPECT_TRUE(WaitUntil([&] { return window.Title() == kTitleWithStandinAircraft; }))
        << "title: " << window.Title();
}

TEST_F(StartedProgram, WindowWithoutDevicesIs1060By120AndShowsOnlyTheHeader) {
    WindowDriver window(main);
    SIZE size = window.WindowSize();
    EXPECT_EQ(size.cx, 1060);
    EXPECT_EQ(size.cy, 120);
    EXPECT_TRUE(window.Rows().empty());

    struct Cell {
        const char* text;
        int x, width;
    };
    const Cell expected[] = {
        {"", 5, 20},           {"Hardware", 25, 160}, {"Device Type", 185, 100},
        {"Port", 325, 100},    {"Version", 425, 100}, {"Message", 525, 205},
        {"Command", 730, 205}, {"LEDs", 935, 100}};
    std::vector<Control> header = window.HeaderCells();
    ASSERT_EQ(header.size(), 8u);
    for (size_t i = 0; i < header.size(); ++i) {
        EXPECT_EQ(header[i].text, expected[i].text);
        EXPECT_EQ(header[i].rect.left, expected[i].x);
        EXPECT_EQ(header[i].rect.right - header[i].rect.left, expected[i].width);
        EXPECT_EQ(header[i].rect.bottom - header[i].rect.top, 16);
    }
    Control reload = window.ReloadButton();
    ASSERT_NE(reload.hwnd, nullptr);
    EXPECT_EQ(reload.text, "Reload Command Map");
    EXPECT_EQ(reload.rect.left, 835);
    EXPECT_EQ(reload.rect.right - reload.rect.left, 200);
    EXPECT_EQ(reload.rect.bottom - reload.rect.top, 25);
}

TEST_F(StartedProgram, CloseBoxKeepsTheWindowOpen) {
    WindowDriver window(main);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = YokeDialog::Find(window.ProcessId())); }))
        << "the yoke dialog was not made";
    ASSERT_FALSE(YokeDialog(dialog).Visible());
    window.PostClose();
    window.PostSysClose();
    // Posted messages are handled in order: once the yoke dialog that a message posted
    // after them shows is up, the window has had both.
    PostMessageW(main, WM_APP + 4, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return YokeDialog(dialog).Visible(); }, 10000))
        << "the window handles no messages";
    YokeDialog(dialog).PostClose();
    EXPECT_TRUE(WaitUntil([&] { return !YokeDialog(dialog).Visible(); }, 10000));
    ASSERT_TRUE(window.Responsive());
    EXPECT_TRUE(window.Exists());
    EXPECT_TRUE(window.Visible());
    EXPECT_FALSE(run->Ended());
}

TEST_F(StartedProgram, EscapeEndsTheProgramWithExitCode0) {
    WindowDriver window(main);
    window.PressKeyOnWindow(VK_ESCAPE);
    EXPECT_EQ(run->WaitExit(), 0);
    EXPECT_EQ(run->CountLog("simconnect: disconnected from simulator"), 1u);
}

namespace {

// The program's message box, or none when the program ended without one.
MessageBoxInfo WaitForMessageBox(ProgramRun& run) {
    MessageBoxInfo box;
    WaitUntil([&] {
        box = FindMessageBox(L"Brackenfold Device Interface");
        return box.hwnd != nullptr || run.Ended();
    });
    return box;
}

} // namespace

// Starts that the program refuses, each a run of its own.
TEST(RefusedStart, ElevatedStartShowsTheRefusalExitsWith1AndWritesNoLog) {
    ProgramSetup setup;
    setup.simulator = false;
    setup.elevated = true;
    ProgramRun run(setup);
    MessageBoxInfo box = WaitForMessageBox(run);
    ASSERT_NE(box.hwnd, nullptr) << "no message box; exit code " << run.WaitExit(0);
    EXPECT_EQ(box.text, "You have started Device Interface with Administrator privileges.\n\n"
                        "Please relaunch Device Interface without Administrator privileges.");
    EXPECT_EQ(FindWindowW(L"Brackenfold", nullptr), nullptr) << "the main window was made";
    DismissMessageBox(box.hwnd);
    EXPECT_EQ(run.WaitExit(), 1);
    EXPECT_FALSE(run.LogExists());
}

TEST(RefusedStart, MissingSimulatorIsReportedAndTheProgramExitsWith1) {
    ProgramSetup setup;
    setup.simulator = false;
    ProgramRun run(setup);
    MessageBoxInfo box = WaitForMessageBox(run);
    ASSERT_NE(box.hwnd, nullptr) << "no message box; exit code " << run.WaitExit(0);
    EXPECT_EQ(box.text, "simconnect: cannot connect to simulator");
    DismissMessageBox(box.hwnd);
    EXPECT_EQ(run.WaitExit(), 1);

    std::vector<LogLine> lines = run.LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text, "Brackenfold Device Interface 2.0.1.0");
    bool errorLine = false;
    for (const LogLine& line : lines)
        errorLine |=
            line.level == "Error" && line.text == "simconnect: cannot connect to simulator";
    EXPECT_TRUE(errorLine) << run.Log();
    EXPECT_EQ(run.CountLog("simconnect: disconnected from simulator"), 1u);
}
