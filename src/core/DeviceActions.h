#pragma once

// What a device command does in the simulator: hold and release simulator events,
// optionally only while a simulator variable has a given value, or pick one of two
// actions by how long the button was held.

#include "mapping/CommandRecords.h"
#include "sim_link/ClientEvent.h"
#include "sim_link/SimEventHoldQueue.h"
#include "sim_link/SimVarRegistry.h"
#include "support/MonotonicClock.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Made only with std::make_shared of the concrete class and held through
// std::shared_ptr<DeviceAction>.
class DeviceAction {
public:
    // 1 press, 0 release; any other value counts as pressed. True when it acted.
    virtual bool Execute(int32_t value) = 0;
    // Periodic poll while pressed.
    virtual void Tick() {}
    virtual std::string Describe() = 0;
    virtual bool HasSimEvent() = 0;

protected:
    ~DeviceAction() = default;
};

// Holds a simulator event while the command is pressed.
class SimEventAction : public DeviceAction {
public:
    SimEventAction(std::string eventName, uint32_t data, std::string displayName);
    // Sends the variable's current value as the event data.
    SimEventAction(std::string eventName, const Conditional& dataVariable, std::string displayName);
    // An event still held when the action goes (its mappings were dropped while
    // the button was down) is released, so it does not repeat for the rest of the run.
    ~SimEventAction();

    bool Execute(int32_t value) override;
    std::string Describe() override;
    bool HasSimEvent() override;

    int32_t EventData() const;

    std::string eventName;
    std::string displayName;
    std::shared_ptr<SimEvent> event;
    uint32_t fixedData = 0;
    std::optional<SimVarKey> dataVariable;
    std::shared_ptr<SimVarRegistration> dataRegistration;
    int32_t lastValue = 0;

protected:
    // The application's held-event queue, taken when the action is built: the
    // action may be dropped while the application is being torn down.
    SimEventHoldQueue* holdQueue = nullptr;
};

// A simulator event that is held only while a simulator variable equals a value.
class SimEventConditionalAction : public SimEventAction {
public:
    SimEventConditionalAction(std::string eventName, uint32_t data, const Conditional& condition,
                              std::string displayName);
    SimEventConditionalAction(std::string eventName, const Conditional& dataVariable,
                              const Conditional& condition, std::string displayName);

    bool Execute(int32_t value) override;

private:
    void RegisterCondition();

    Conditional condition;
    std::shared_ptr<SimVarRegistration> conditionRegistration;
};

// A short press runs one action, a press held for the timeout another. The
// clock times the presses.
class TimeoutAction : public DeviceAction {
public:
    TimeoutAction(std::shared_ptr<DeviceAction> shortAction,
                  std::shared_ptr<DeviceAction> longAction, float timeout, MonotonicClock clock);

    bool Execute(int32_t value) override;
    void Tick() override;
    std::string Describe() override;
    bool HasSimEvent() override { return false; }

private:
    int32_t ElapsedMs() const;
    int32_t LimitMs() const;
    void RunLongAction();

    std::shared_ptr<DeviceAction> shortAction;
    std::shared_ptr<DeviceAction> longAction;
    float timeout;
    MonotonicClock clock;
    bool pressed = false;
    int64_t pressTime = 0;
    bool longFired = false;
};
