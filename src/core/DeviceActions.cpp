#include "core/DeviceActions.h"

#include "core/Plugin.h"
#include "support/Logger.h"

namespace {

SimVarKey KeyOf(const Conditional& variable) {
    return SimVarKey{variable.variableName, variable.unit,
                     static_cast<uint32_t>(variable.dataType)};
}

} // namespace

SimEventAction::SimEventAction(std::string eventName, uint32_t data, std::string displayName)
    : eventName(std::move(eventName)), displayName(std::move(displayName)), fixedData(data),
      holdQueue(&gPlugin->holdQueue) {
    event = gPlugin->clientEvents.GetSimEvent(this->eventName);
}

SimEventAction::SimEventAction(std::string eventName, const Conditional& dataVariable,
                               std::string displayName)
    : eventName(std::move(eventName)), displayName(std::move(displayName)),
      dataVariable(KeyOf(dataVariable)), holdQueue(&gPlugin->holdQueue) {
    event = gPlugin->clientEvents.GetSimEvent(this->eventName);
    dataRegistration = gPlugin->simVars.Register(*this->dataVariable);
}

SimEventAction::~SimEventAction() {
    if (event && lastValue != 0)
        holdQueue->Release(event);
}

int32_t SimEventAction::EventData() const {
    if (dataRegistration)
        return dataRegistration->value.ToInt32();
    return static_cast<int32_t>(fixedData);
}

bool SimEventAction::Execute(int32_t value) {
    if (!event || value == lastValue)
        return false;
    lastValue = value;
    if (value == 0)
        holdQueue->Release(event);
    else
        holdQueue->Hold(event, static_cast<uint32_t>(EventData()));
    return true;
}

std::string SimEventAction::Describe() {
    return displayName.empty() ? eventName : displayName;
}

bool SimEventAction::HasSimEvent() {
    return event != nullptr;
}

SimEventConditionalAction::SimEventConditionalAction(std::string eventName, uint32_t data,
                                                     const Conditional& condition,
                                                     std::string displayName)
    : SimEventAction(std::move(eventName), data, std::move(displayName)), condition(condition) {
    RegisterCondition();
}

SimEventConditionalAction::SimEventConditionalAction(std::string eventName,
                                                     const Conditional& dataVariable,
                                                     const Conditional& condition,
                                                     std::string displayName)
    : SimEventAction(std::move(eventName), dataVariable, std::move(displayName)),
      condition(condition) {
    RegisterCondition();
}

void SimEventConditionalAction::RegisterCondition() {
    conditionRegistration = gPlugin->simVars.Register(KeyOf(condition));
}

bool SimEventConditionalAction::Execute(int32_t value) {
    if (!event || !conditionRegistration)
        return false;
    bool result = false;
    if (conditionRegistration->value.ToInt32() == condition.value) {
        if (value != 0) {
            int32_t data = EventData();
            if (gLogger->Accepts(BKFLog::LevelTrace))
                gLogger->Trace("Pressing event %s (%d)", Describe().c_str(), data);
            holdQueue->Hold(event, static_cast<uint32_t>(data));
            result = true;
        }
        lastValue = value;
    }
    if (value == 0) {
        if (gLogger->Accepts(BKFLog::LevelTrace))
            gLogger->Trace("Releasing event %s", Describe().c_str());
        holdQueue->Release(event);
        lastValue = 0;
    }
    return result;
}

TimeoutAction::TimeoutAction(std::shared_ptr<DeviceAction> shortAction,
                             std::shared_ptr<DeviceAction> longAction, float timeout,
                             MonotonicClock clock)
    : shortAction(std::move(shortAction)), longAction(std::move(longAction)), timeout(timeout),
      clock(std::move(clock)) {}

int32_t TimeoutAction::ElapsedMs() const {
    return static_cast<int32_t>((clock() - pressTime) / 1000000);
}

int32_t TimeoutAction::LimitMs() const {
    return static_cast<int32_t>(static_cast<double>(timeout) * 1000.0);
}

void TimeoutAction::RunLongAction() {
    if (longAction) {
        longAction->Execute(1);
        longAction->Execute(0);
    }
    longFired = true;
}

bool TimeoutAction::Execute(int32_t value) {
    bool pressedNow = value != 0;
    if (pressedNow == pressed)
        return false;
    if (pressedNow) {
        pressTime = clock();
        pressed = true;
        longFired = false;
        return false;
    }
    if (ElapsedMs() < LimitMs()) {
        if (shortAction) {
            shortAction->Execute(1);
            shortAction->Execute(0);
        }
        longFired = false;
    } else if (!longFired) {
        RunLongAction();
    }
    pressed = false;
    return true;
}

void TimeoutAction::Tick() {
    if (pressed && !longFired && ElapsedMs() >= LimitMs())
        RunLongAction();
}

std::string TimeoutAction::Describe() {
    return (shortAction ? shortAction->Describe() : std::string()) + "/" +
           (longAction ? longAction->Describe() : std::string());
}
