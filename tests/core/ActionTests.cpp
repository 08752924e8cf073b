// Device actions and indicators on the application's simulator link.

#include "sim_link/StandinLink.h"

#include "core/Plugin.h"
#include "core/DeviceActions.h"
#include "core/DeviceIndicators.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

// Records the values it is executed with.
class RecordingAction : public DeviceAction {
public:
    explicit RecordingAction(std::string name) : name(std::move(name)) {}
    bool Execute(int32_t value) override {
        values.push_back(value);
        return true;
    }
    std::string Describe() override { return name; }
    bool HasSimEvent() override { return false; }

    std::string name;
    std::vector<int32_t> values;
};

class ActionTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = InstallRecordingLogger();
        gPlugin = std::make_unique<Plugin>(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    }
    void TearDown() override {
        gPlugin.reset();
        gLogger.reset();
    }
    // (event id, data) of the queue's entries, queued ones after held ones.
    std::vector<std::pair<uint32_t, uint32_t>> Entries() const {
        std::vector<std::pair<uint32_t, uint32_t>> entries;
        for (const auto* list : {&gPlugin->holdQueue.Held(), &gPlugin->holdQueue.Queued()})
            for (const HeldEvent& entry : *list)
                entries.emplace_back(entry.event->Id(), entry.data);
        return entries;
    }
    std::shared_ptr<SimVarRegistration> Variable(const std::string& name) {
        return gPlugin->simVars.Register(SimVarKey{name, "number", SIMCONNECT_DATATYPE_FLOAT32});
    }

    static uint32_t IdOf(const std::string& name) {
        return gPlugin->clientEvents.GetSimEvent(name)->Id();
    }
    using Entry = std::pair<uint32_t, uint32_t>;

    std::shared_ptr<RecordingTarget> log;
};

constexpr int64_t kNsPerMs = 1000000;

// A clock that moves only when the test moves it. It must outlive the actions
// it is handed to.
class TestClock {
public:
    MonotonicClock Source() {
        return [this] { return now; };
    }
    void AdvanceNs(int64_t ns) { now += ns; }
    void AdvanceMs(int64_t ms) { now += ms * kNsPerMs; }

private:
    int64_t now = 5 * 1000 * kNsPerMs;
};

Conditional Condition(const std::string& name, int value) {
    Conditional condition;
    condition.variableName = name;
    condition.unit = "number";
    condition.value = value;
    return condition;
}

} // namespace

TEST_F(ActionTest, SimEventActionPressRepeatAndReleaseReachTheSimulator) {
    StandinLink link;
    ASSERT_TRUE(link.Ready());
    HANDLE handle = link.Connect();
    ASSERT_NE(handle, nullptr);
    gPlugin->clientEvents.SetHandle(handle);

    std::shared_ptr<DeviceAction> action =
        std::make_shared<SimEventAction>("BKF.TEST.GEAR", 5u, std::string());
    EXPECT_TRUE(action->HasSimEvent());
    EXPECT_EQ(action->Describe(), "BKF.TEST.GEAR");
    EXPECT_FALSE(action->Execute(0)) << "a new action is already released";
    EXPECT_TRUE(action->Execute(1));
    EXPECT_FALSE(action->Execute(1)) << "the same value again does nothing";
    gPlugin->holdQueue.Tick();
    gPlugin->holdQueue.Tick();
    const std::string id = std::to_string(IdOf("BKF.TEST.GEAR"));
    EXPECT_TRUE(action->Execute(2)) << "another pressed value asks for the hold again";
    EXPECT_TRUE(HasLogLine(*log, "Asked to hold event " + id + " which was already held"));
    EXPECT_TRUE(action->Execute(0));
    gPlugin->holdQueue.Tick();
    ASSERT_TRUE(link.Sync(handle));
    Lines sent;
    for (const auto& request : link.Requests("TransmitClientEvent"))
        sent.push_back(request.fields);
    EXPECT_EQ(sent, (Lines{"ObjectID=0 EventID=" + id +
                               " dwData=5 GroupID=1 Flags=16 "
                               "Name=\"BKF.TEST.GEAR\"",
                           "ObjectID=0 EventID=" + id +
                               " dwData=5 GroupID=1 Flags=18 "
                               "Name=\"BKF.TEST.GEAR\""}));
    auto maps = link.Fields("MapClientEventToSimEvent");
    EXPECT_NE(std::find(maps.begin(), maps.end(), "EventID=" + id + " EventName=\"BKF.TEST.GEAR\""),
              maps.end());
    gPlugin->clientEvents.SetHandle(nullptr);
}

TEST_F(ActionTest, DataVariableSendsItsCurrentValue) {
    auto action = std::make_shared<SimEventAction>("BKF.TEST.FLAPS", Condition("FLAPS", 9),
                                                   std::string("Flaps"));
    EXPECT_EQ(action->Describe(), "Flaps");
    auto flaps = Variable("FLAPS");
    EXPECT_EQ(flaps->fieldIndex, 0) << "the action registered its data variable";
    flaps->value = 2.7f;
    EXPECT_TRUE(action->Execute(1));
    const uint32_t id = IdOf("BKF.TEST.FLAPS");
    EXPECT_EQ(Entries(), (std::vector<Entry>{{id, 2}}));
    flaps->value = int32_t(4);
    EXPECT_TRUE(action->Execute(3));
    EXPECT_EQ(Entries(), (std::vector<Entry>{{id, 2}, {id, 4}}));
    EXPECT_TRUE(action->Execute(0));
    EXPECT_TRUE(Entries().empty());
}

TEST_F(ActionTest, ConditionalActionActsOnlyWhileTheConditionHolds) {
    std::shared_ptr<DeviceAction> action = std::make_shared<SimEventConditionalAction>(
        "BKF.TEST.AP", 3u, Condition("AP MASTER", 1), std::string("AP"));
    EXPECT_TRUE(action->HasSimEvent());
    EXPECT_FALSE(action->Execute(1)) << "the condition variable reads 0 before any data";
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(action->Execute(0));
    EXPECT_TRUE(HasLogLine(*log, "Releasing event AP"));
    const uint32_t id = IdOf("BKF.TEST.AP");
    EXPECT_TRUE(
        HasLogLine(*log, "Release of event " + std::to_string(id) + " did not release any events"));

    Variable("AP MASTER")->value = 1.0f;
    EXPECT_TRUE(action->Execute(1));
    EXPECT_TRUE(action->Execute(1)) << "every press while the condition holds asks for a hold";
    EXPECT_TRUE(HasLogLine(*log, "Pressing event AP (3)"));
    EXPECT_TRUE(HasLogLine(*log, "Asked to hold event " + std::to_string(id) +
                                     " which was already queued for hold"));
    EXPECT_EQ(Entries(), (std::vector<Entry>{{id, 3}}));

    Variable("AP MASTER")->value = 0.0;
    EXPECT_FALSE(action->Execute(0)) << "a release always releases and returns false";
    EXPECT_TRUE(Entries().empty());

    auto withData = std::make_shared<SimEventConditionalAction>(
        "BKF.TEST.HDG", Condition("HDG", 0), Condition("AP MASTER", 0), std::string());
    Variable("HDG")->value = 270.4;
    EXPECT_TRUE(withData->Execute(1));
    EXPECT_EQ(Entries(), (std::vector<Entry>{{IdOf("BKF.TEST.HDG"), 270}}));
}

TEST_F(ActionTest, TimeoutActionShortAndLongPresses) {
    auto shortAction = std::make_shared<RecordingAction>("A");
    auto longAction = std::make_shared<RecordingAction>("B");
    TestClock clock;
    auto action = std::make_shared<TimeoutAction>(shortAction, longAction, 0.1f, clock.Source());
    EXPECT_EQ(action->Describe(), "A/B");
    EXPECT_FALSE(action->HasSimEvent());

    EXPECT_FALSE(action->Execute(0)) << "a release without a press does nothing";
    EXPECT_FALSE(action->Execute(1));
    clock.AdvanceMs(20);
    action->Tick();
    EXPECT_TRUE(action->Execute(0));
    EXPECT_EQ(shortAction->values, (std::vector<int32_t>{1, 0}));
    EXPECT_TRUE(longAction->values.empty());

    EXPECT_FALSE(action->Execute(1));
    clock.AdvanceMs(60);
    EXPECT_FALSE(action->Execute(1)) << "a second press keeps the first press time";
    clock.AdvanceMs(39);
    action->Tick();
    EXPECT_TRUE(longAction->values.empty()) << "99 ms after the first press";
    clock.AdvanceMs(51);
    action->Tick();
    EXPECT_EQ(longAction->values, (std::vector<int32_t>{1, 0}));
    action->Tick();
    EXPECT_TRUE(action->Execute(0));
    EXPECT_EQ(longAction->values, (std::vector<int32_t>{1, 0})) << "the long action ran once";
    EXPECT_EQ(shortAction->values.size(), 2u);

    // Held past the timeout without a tick: the release runs the long action.
    EXPECT_FALSE(action->Execute(1));
    clock.AdvanceMs(150);
    EXPECT_TRUE(action->Execute(0));
    EXPECT_EQ(longAction->values, (std::vector<int32_t>{1, 0, 1, 0}));

    auto immediate = std::make_shared<TimeoutAction>(shortAction, longAction, 0.0f, clock.Source());
    immediate->Execute(1);
    EXPECT_TRUE(immediate->Execute(0));
    EXPECT_EQ(longAction->values.size(), 6u) << "with timeout 0 the short action never runs";
    EXPECT_EQ(shortAction->values.size(), 2u);
}

// Elapsed time counts in whole milliseconds; a press held exactly the timeout is long.
TEST_F(ActionTest, TimeoutActionLimitIsALongPress) {
    auto shortAction = std::make_shared<RecordingAction>("A");
    auto longAction = std::make_shared<RecordingAction>("B");
    TestClock clock;
    auto action = std::make_shared<TimeoutAction>(shortAction, longAction, 0.1f, clock.Source());

    action->Execute(1);
    clock.AdvanceNs(100 * kNsPerMs - 1);
    action->Tick();
    EXPECT_TRUE(action->Execute(0));
    EXPECT_EQ(shortAction->values, (std::vector<int32_t>{1, 0})) << "1 ns short of the limit";
    EXPECT_TRUE(longAction->values.empty());

    action->Execute(1);
    clock.AdvanceMs(100);
    EXPECT_TRUE(action->Execute(0));
    EXPECT_EQ(longAction->values, (std::vector<int32_t>{1, 0})) << "released at the limit";

    action->Execute(1);
    clock.AdvanceMs(100);
    action->Tick();
    EXPECT_EQ(longAction->values, (std::vector<int32_t>{1, 0, 1, 0})) << "ticked at the limit";
    EXPECT_TRUE(action->Execute(0));
    EXPECT_EQ(longAction->values.size(), 4u);
    EXPECT_EQ(shortAction->values.size(), 2u);
}

TEST_F(ActionTest, IndicatorsFromIntFloatAndStringValues) {
    auto value = Variable("GEAR");
    auto onAtZero = std::make_shared<DeviceIndicatorSimple>(value, 0);
    auto onAtOne = std::make_shared<DeviceIndicatorSimple>(value, 1);
    std::vector<std::shared_ptr<DeviceIndicator>> leds = {
        onAtZero, onAtOne, std::make_shared<NullDeviceIndicator>(),
        std::make_shared<DeviceIndicatorSimple>(nullptr, 0)};
    auto line = [&] {
        std::string text;
        for (const auto& led : leds)
            text += led->LedChar();
        return text;
    };
    EXPECT_EQ(line(), "1000") << "no value yet reads as 0";
    value->value = 0.9f;
    EXPECT_EQ(line(), "1000");
    value->value = 1.0;
    EXPECT_EQ(line(), "0100");
    value->value = -0.5;
    EXPECT_EQ(line(), "1000");
    value->value = int64_t(0x100000001LL);
    EXPECT_EQ(line(), "0100");
    value->value = std::string("1");
    EXPECT_EQ(line(), "1000") << "a string compares as 0";
}
