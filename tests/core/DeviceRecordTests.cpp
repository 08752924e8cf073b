// The device record: names, keys, panel functions and how a command line reaches
// the actions bound to it.

#include "core/DeviceCommand.h"
#include "core/DeviceRecord.h"
#include "common/RecordingTarget.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Calls = std::vector<std::pair<std::string, int32_t>>;

// Records every Execute in one shared list, so the order across actions shows.
class LoggedAction : public DeviceAction {
public:
    LoggedAction(std::string name, Calls& calls, bool acts = true)
        : name(std::move(name)), calls(calls), acts(acts) {}
    bool Execute(int32_t value) override {
        calls.emplace_back(name, value);
        return acts;
    }
    std::string Describe() override { return name; }
    bool HasSimEvent() override { return false; }

    std::string name;
    Calls& calls;
    bool acts;
};

// Model texts from the device model table.
const std::string kNavigator = "Brackenfold-Wayfinder4";

DeviceRecord MakeRecord(const std::string& identity, uint32_t number = 3,
                        const std::string& id = "1A2B") {
    return DeviceRecord(identity, number, "\\\\.\\COM10", id, "1.0");
}

std::shared_ptr<DeviceAction> Action(const std::string& name, Calls& calls, bool acts = true) {
    return std::make_shared<LoggedAction>(name, calls, acts);
}

} // namespace

TEST(DeviceRecordTest, KeyJoinsSignedNumberIdentityAndId) {
    EXPECT_EQ(MakeRecord("X", 3, "1A2B").Key(), "3X1A2B");
    // The I/O side writes a unit id of -1 as "-1": the record must agree.
    EXPECT_EQ(MakeRecord("X", static_cast<uint32_t>(-1), "FF").Key(), "-1XFF");
}

TEST(DeviceRecordTest, FunctionNames) {
    EXPECT_EQ(FunctionName(0), "NONE");
    EXPECT_EQ(FunctionName(1), "CN1");
    EXPECT_EQ(FunctionName(8), "PFD2");
    EXPECT_EQ(FunctionName(9), "9");
    EXPECT_EQ(FunctionName(-2), "-2");
    DeviceRecord unknown = MakeRecord("NOT-A-MODEL", 7);
    EXPECT_EQ(unknown.ModelNumber(), 17);
    EXPECT_EQ(unknown.Function(), 0);
    EXPECT_EQ(unknown.FunctionName(), "7") << "function 0 is named by the device number";
    // A unit id of -1 names the section as the key does: "-1", not 4294967295.
    DeviceRecord minusOne = MakeRecord("Brackenfold-Keypad", static_cast<uint32_t>(-1), "0F");
    EXPECT_EQ(minusOne.Function(), 0);
    EXPECT_EQ(minusOne.FunctionName(), "-1");
    EXPECT_EQ(minusOne.Key(), "-1Brackenfold-Keypad0F");
    EXPECT_EQ(unknown.HardwareName(), "NOT-A-MODEL") << "no family: the model text";
    EXPECT_EQ(KeyKindSign(CommandKey::Press), '+');
    EXPECT_EQ(KeyKindSign(CommandKey::Release), '-');
    EXPECT_EQ(KeyKindSign(CommandKey::Once), ' ');
}

TEST(DeviceRecordTest, SetFunctionKeepsToTheModelsFunctionsUnlessForced) {
    DeviceRecord unknown = MakeRecord("NOT-A-MODEL");
    EXPECT_TRUE(unknown.SetFunction(0, false));
    EXPECT_FALSE(unknown.SetFunction(2, false));
    EXPECT_EQ(unknown.Function(), 0);
    EXPECT_TRUE(unknown.SetFunction(2, true));
    EXPECT_EQ(unknown.Function(), 2);

    DeviceRecord navigator = MakeRecord(kNavigator);
    std::set<int> allowed = navigator.AllowedFunctions();
    ASSERT_GE(allowed.size(), 2u) << kNavigator << " is a navigator with two functions";
    EXPECT_EQ(navigator.Function(), *allowed.begin()) << "built with its first function";
    EXPECT_FALSE(navigator.SetFunction(5, false));
    EXPECT_EQ(navigator.Function(), *allowed.begin());
    EXPECT_TRUE(navigator.SetFunction(*allowed.rbegin(), false));
    EXPECT_EQ(navigator.Function(), *allowed.rbegin());
}

TEST(DeviceRecordTest, IntegerLineRunsPressOrReleaseThenOnce) {
    Calls calls;
    DeviceRecord record = MakeRecord(kNavigator);
    record.AddAction({"BTN", CommandKey::Press}, Action("press", calls));
    record.AddAction({"BTN", CommandKey::Release}, Action("release", calls));
    record.AddAction({"BTN", CommandKey::Once}, Action("once", calls));

    EXPECT_TRUE(record.HandleCommand("BTN", int32_t(1)));
    EXPECT_EQ(calls, (Calls{{"press", 1}, {"press", 0}, {"once", 1}}));
    calls.clear();
    EXPECT_TRUE(record.HandleCommand("BTN", int32_t(0)));
    EXPECT_EQ(calls, (Calls{{"release", 1}, {"release", 0}, {"once", 0}}));
    calls.clear();
    EXPECT_TRUE(record.HandleCommand("BTN", CommandValue{}));
    EXPECT_EQ(calls, (Calls{{"once", 1}, {"once", 0}})) << "no value: only the once binding";
    EXPECT_EQ(record.LastCommand(), "BTN");
    EXPECT_EQ(record.LastAction(), "once");

    // With Trace on, each action run without a value is traced.
    gLogger = MakeLogger();
    auto log = std::make_shared<RecordingTarget>();
    gLogger->AddTarget("test", log);
    gLogger->SetLevel(BKFLog::LevelTrace);
    record.HandleCommand("BTN", CommandValue{});
    std::vector<RecordingTarget::Line> lines = log->Lines();
    gLogger.reset();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, BKFLog::LevelTrace);
    EXPECT_EQ(lines[0].text.rfind("Executing action \"once\" Ptr:", 0), 0u) << lines[0].text;
}

TEST(DeviceRecordTest, AnalogNamesSkipPressAndRelease) {
    Calls calls;
    DeviceRecord record = MakeRecord(kNavigator);
    for (const std::string name : {"ENC_X", "POT_V", "MY_ENC_X"}) {
        record.AddAction({name, CommandKey::Press}, Action(name + "+", calls));
        record.AddAction({name, CommandKey::Once}, Action(name, calls));
    }
    record.HandleCommand("ENC_X", int32_t(1));
    record.HandleCommand("POT_V", ParseDeviceCommand("POT_V=512").value);
    record.HandleCommand("POT_V", ParseDeviceCommand("POT_V=1023").value);
    record.HandleCommand("MY_ENC_X", int32_t(1));
    EXPECT_EQ(calls, (Calls{{"ENC_X", 1},
                            {"POT_V", 0},
                            {"POT_V", 1},
                            {"MY_ENC_X+", 1},
                            {"MY_ENC_X+", 0},
                            {"MY_ENC_X", 1}}));
}

TEST(DeviceRecordTest, UnboundAndQuietCommandsShowInLastAction) {
    Calls calls;
    DeviceRecord record = MakeRecord(kNavigator);
    EXPECT_FALSE(record.HandleCommand("NOTHING", int32_t(1)));
    EXPECT_EQ(record.LastAction(), "(Unmapped)");
    record.AddAction({"QUIET", CommandKey::Once}, Action("quiet", calls, false));
    EXPECT_TRUE(record.HandleCommand("QUIET", int32_t(1)));
    EXPECT_EQ(record.LastAction(), "(No Action)");
    record.AddAction({"TWO", CommandKey::Once}, Action("first", calls));
    record.AddAction({"TWO", CommandKey::Once}, Action("second", calls));
    record.AddAction({"TWO", CommandKey::Once}, Action("third", calls, false));
    calls.clear();
    record.HandleCommand("TWO", int32_t(1));
    EXPECT_EQ(calls, (Calls{{"first", 1}, {"second", 1}, {"third", 1}}));
    EXPECT_EQ(record.LastAction(), "second") << "the last action that acted";
    record.ClearMappings();
    EXPECT_EQ(record.ActionCount(), 0u);
    EXPECT_FALSE(record.HandleCommand("TWO", int32_t(1)));
}

TEST(DeviceRecordTest, MovingKeepsTheTextsOnly) {
    Calls calls;
    DeviceRecord record = MakeRecord(kNavigator);
    record.AddAction({"BTN", CommandKey::Once}, Action("once", calls));
    record.HandleCommand("BTN", int32_t(1));
    DeviceRecord moved(std::move(record));
    EXPECT_EQ(moved.LastCommand(), "BTN");
    EXPECT_EQ(moved.Port(), "\\\\.\\COM10");
    EXPECT_EQ(moved.Key(), "3" + kNavigator + "1A2B");
    EXPECT_EQ(DeviceRecord(moved).Key(), moved.Key());
    EXPECT_EQ(moved.ActionCount(), 0u);
}

TEST(DeviceCommandTest, SplitsNameAndValue) {
    auto parsed = ParseDeviceCommand("BTN_A=1");
    EXPECT_EQ(parsed.name, "BTN_A");
    EXPECT_EQ(std::get<int32_t>(parsed.value), 1);
    EXPECT_EQ(ParseDeviceCommand("BTN_A").value.index(), 0u);
    EXPECT_FLOAT_EQ(std::get<float>(ParseDeviceCommand("POT_VOL=1023").value), 1.0f);
    EXPECT_EQ(std::get<float>(ParseDeviceCommand("POT_X=512").value), 512.0f / 1023.0f);
    EXPECT_EQ(std::get<float>(ParseDeviceCommand("A_POT_X=0").value), 0.0f)
        << "\"POT_\" anywhere scales";
    EXPECT_EQ(std::get<int32_t>(ParseDeviceCommand("ENC_X=-1").value), -1);
    auto twice = ParseDeviceCommand("X=5=7");
    EXPECT_EQ(twice.name, "X");
    EXPECT_EQ(std::get<int32_t>(twice.value), 5);
    auto empty = ParseDeviceCommand("A=");
    EXPECT_EQ(empty.name, "A");
    EXPECT_EQ(empty.value.index(), 0u);
    auto only = ParseDeviceCommand("===");
    EXPECT_EQ(only.name, "");
    EXPECT_EQ(only.value.index(), 0u);
    EXPECT_EQ(std::get<int32_t>(ParseDeviceCommand("K= 12abc").value), 12);
    EXPECT_EQ(std::get<int32_t>(ParseDeviceCommand("K=abc").value), 0);
}
