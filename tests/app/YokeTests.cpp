// Two yokes, the yoke parameters dialog, recalibration and the legacy-device
// menu item.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "app/AppHarness.h"
#include "app/WindowDriver.h"

using namespace e2e;

namespace {

const char kDeviceMapping[] = "[RidgelineYoke]\n"
                              "roll_state=3\n"
                              "pitch_state=1\n"
                              "[GlobalConfig]\n"
                              "probe_legacy=true\n";

enum : int {
    RollLow = 1003,
    RollMed = 1004,
    RollHigh = 1005,
    PitchLow = 1006,
    PitchMed = 1007,
    PitchHigh = 1008,
    MenuYokeSettings = 0x8004,
    MenuRecalibrate = 0x8005,
    MenuLegacy = 0x8006,
};

// The dialog's button of a stored preset ("1" to "3") of the roll or the pitch.
int PresetButton(int low, const std::string& stored) {
    return low + std::stoi("0" + stored) - 1;
}

// The host lines from index `from` on that set the yoke's forces or recalibrate it.
std::vector<std::string> ForceLines(Device& yoke, size_t from = 0) {
    std::vector<std::string> lines = yoke.Lines();
    std::vector<std::string> forces;
    for (size_t i = from; i < lines.size(); ++i)
        if (!lines[i].empty() && (lines[i][0] == 'A' || lines[i][0] == 'B' || lines[i] == "!c"))
            forces.push_back(lines[i]);
    return forces;
}

} // namespace

// One run with two yokes and stored force presets (roll High, pitch Low) at start;
// each test reads the presets it starts from in DeviceMapping.ini.
class Yokes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ProgramSetup setup;
        setup.deviceMapping = kDeviceMapping;
        run = std::make_unique<ProgramRun>(setup);
        main = run->MainWindow();
        first =
            std::make_unique<Device>(26, Identity("Brackenfold-Ridgeline-Yoke", 5, "3.1", "1A"));
        second =
            std::make_unique<Device>(27, Identity("Brackenfold-Ridgeline-Yoke", 6, "3.1", "1B"));
        first->WaitForCount("|", 1);
        second->WaitForCount("|", 1);
    }
    static void TearDownTestSuite() {
        run.reset();
        first.reset();
        second.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(run);
        ASSERT_NE(main, nullptr) << "the main window did not appear";
        ASSERT_EQ(first->Count("|"), 1u) << "the first yoke was not registered";
        ASSERT_EQ(second->Count("|"), 1u) << "the second yoke was not registered";
    }

    static YokeDialog Dialog() {
        HWND dialog = nullptr;
        WaitUntil([&] { return (dialog = YokeDialog::Find(WindowDriver(main).ProcessId())); },
                  10000);
        return YokeDialog(dialog);
    }
    static std::string StoredYoke(const char* key) {
        std::optional<IniSection> yoke = FindSection(run->DeviceMapping(), "RidgelineYoke");
        return yoke ? yoke->Get(key) : "(no RidgelineYoke section)";
    }
    // Clicks a force button; each yoke must then get both presets, A before B.
    static void ClickAndExpect(int id, const std::string& a, const std::string& b) {
        size_t firstFrom = first->Lines().size();
        size_t secondFrom = second->Lines().size();
        Dialog().Click(id);
        for (Device* yoke : {first.get(), second.get()}) {
            size_t from = yoke == first.get() ? firstFrom : secondFrom;
            ASSERT_TRUE(WaitUntil([&] { return ForceLines(*yoke, from).size() >= 2; }))
                << "the presets did not reach " << yoke->Port();
            EXPECT_EQ(ForceLines(*yoke, from), (std::vector<std::string>{a, b})) << yoke->Port();
        }
    }

    static std::unique_ptr<ProgramRun> run;
    static HWND main;
    static std::unique_ptr<Device> first, second;
};

std::unique_ptr<ProgramRun> Yokes::run;
HWND Yokes::main = nullptr;
std::unique_ptr<Device> Yokes::first, Yokes::second;

TEST_F(Yokes, RegisteredYokeGetsTheStoredPresetsBeforeItsReadyLine) {
    for (Device* yoke : {first.get(), second.get()}) {
        std::vector<std::string> lines = yoke->Lines();
        auto a = std::find(lines.begin(), lines.end(), "A3");
        auto b = std::find(lines.begin(), lines.end(), "B1");
        auto ready = std::find(lines.begin(), lines.end(), "|");
        ASSERT_NE(a, lines.end()) << yoke->Port();
        ASSERT_NE(b, lines.end()) << yoke->Port();
        EXPECT_LT(a, b);
        EXPECT_LT(b, ready);
    }
}

TEST_F(Yokes, F1OpensTheDialogWithTheStoredPresetsChecked) {
    const std::string roll = StoredYoke("roll_state"), pitch = StoredYoke("pitch_state");
    YokeDialog dialog = Dialog();
    ASSERT_NE(dialog.Hwnd(), nullptr);
    dialog.PostClose();
    ASSERT_TRUE(WaitUntil([&] { return !dialog.Visible(); }, 10000)) << "the dialog stays up";
    WindowDriver(main).PressKeyOnWindow(VK_F1);
    ASSERT_TRUE(WaitUntil([&] { return dialog.Visible(); }, 10000));
    for (int id = RollLow; id <= RollHigh; ++id)
        EXPECT_EQ(dialog.Checked(id), id == PresetButton(RollLow, roll)) << "roll " << roll;
    for (int id = PitchLow; id <= PitchHigh; ++id)
        EXPECT_EQ(dialog.Checked(id), id == PresetButton(PitchLow, pitch)) << "pitch " << pitch;
}

TEST_F(Yokes, RollClickSavesTheRollPresetAndPushesBothToEveryYoke) {
    const std::string pitch = StoredYoke("pitch_state");
    // Low, or Medium when Low is already chosen.
    const std::string roll = StoredYoke("roll_state") == "1" ? "2" : "1";
    ClickAndExpect(PresetButton(RollLow, roll), "A" + roll, "B" + pitch);
    EXPECT_EQ(StoredYoke("roll_state"), roll);
    EXPECT_EQ(StoredYoke("pitch_state"), pitch);
    EXPECT_TRUE(Dialog().Checked(PresetButton(RollLow, roll)));
}

TEST_F(Yokes, PitchClickSavesThePitchPresetAndPushesBothToEveryYoke) {
    const std::string roll = StoredYoke("roll_state");
    // High, or Medium when High is already chosen.
    const std::string pitch = StoredYoke("pitch_state") == "3" ? "2" : "3";
    ClickAndExpect(PresetButton(PitchLow, pitch), "A" + roll, "B" + pitch);
    EXPECT_EQ(StoredYoke("roll_state"), roll);
    EXPECT_EQ(StoredYoke("pitch_state"), pitch);
}

TEST_F(Yokes, MenuItemShowsTheClosedDialogAgain) {
    YokeDialog dialog = Dialog();
    dialog.PostClose();
    ASSERT_TRUE(WaitUntil([&] { return !dialog.Visible(); }, 10000)) << "the close box kept it";
    WindowDriver(main).ChooseMenuItem(MenuYokeSettings);
    EXPECT_TRUE(WaitUntil([&] { return dialog.Visible(); }, 10000));
    dialog.PostClose();
}

TEST_F(Yokes, RecalibrateMenuItemSendsTheRecalibrateLineToEveryYoke) {
    size_t firstBefore = first->Count("!c"), secondBefore = second->Count("!c");
    WindowDriver(main).ChooseMenuItem(MenuRecalibrate);
    EXPECT_TRUE(first->WaitForCount("!c", firstBefore + 1));
    EXPECT_TRUE(second->WaitForCount("!c", secondBefore + 1));
}

TEST_F(Yokes, LegacyMenuItemFlipsTheStoredProbeSetting) {
    const std::string pitch = StoredYoke("pitch_state");
    WindowDriver window(main);
    // The file is read only once the program is done with the command: the
    // recalibration chosen after it reaches the yoke after the file was written.
    auto toggle = [&] {
        size_t recalibrations = first->Count("!c");
        window.ChooseMenuItem(MenuLegacy);
        window.ChooseMenuItem(MenuRecalibrate);
        EXPECT_TRUE(first->WaitForCount("!c", recalibrations + 1));
        std::optional<IniSection> global = FindSection(run->DeviceMapping(), "GlobalConfig");
        return global ? global->Get("probe_legacy") : std::string("(no GlobalConfig section)");
    };
    EXPECT_EQ(toggle(), "false") << run->DeviceMappingText();
    EXPECT_EQ(toggle(), "true") << run->DeviceMappingText();
    EXPECT_EQ(run->CountLog("Toggling legacy support"), 2u);
    EXPECT_EQ(StoredYoke("pitch_state"), pitch) << "the other settings are kept";
}
