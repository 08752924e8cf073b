#pragma once

// The state of one connected device on the user-interface thread: its identity,
// panel function, texts for the device list, and the actions and LEDs bound to it.

#include "core/DeviceActions.h"
#include "core/DeviceIndicators.h"
#include "mapping/CommandKey.h"

#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

class DeviceIOManager;

// No value, a whole number, or the 0..1 value of a "POT_" command.
using CommandValue = std::variant<std::monostate, int32_t, float>;

// A value a device can be sent by name; no kind of it exists yet.
class NamedIndicator {
public:
    virtual ~NamedIndicator() = default;
    // The current value; sets changed when it differs from the last call's.
    virtual float Value(bool& changed) = 0;
};

// "NONE", "CN1", ... for 0 to 8, else the code in signed decimal.
std::string FunctionName(int32_t code);

// '+' for a press binding, '-' for a release binding, ' ' for any other kind.
char KeyKindSign(int kind);

// The name begins with one of the analog prefixes ("POT_", "ENC_").
bool HasAnalogPrefix(const std::string& name);

class DeviceRecord {
public:
    DeviceRecord(std::string identity, uint32_t deviceNumber, std::string port, std::string id,
                 std::string version);
    // Moves and copies keep the texts; actions, LEDs and what was sent start empty.
    DeviceRecord(DeviceRecord&& other) noexcept;
    DeviceRecord(const DeviceRecord& other);
    DeviceRecord& operator=(const DeviceRecord&) = delete;

    std::string Identity() const { return identity; }
    uint32_t DeviceNumber() const { return deviceNumber; }
    int32_t ModelNumber() const { return model; }
    int32_t Function() const { return function; }
    std::string Port() const { return port; }
    std::string Id() const { return id; }
    std::string Version() const { return version; }
    std::string LastAction() const { return lastAction; }
    std::string LastCommand() const { return lastCommand; }
    std::string LedState() const { return ledDisplay; }
    std::set<int> AllowedFunctions() const;

    std::string HardwareName() const;
    // The panel function's name; for function 0 the device number, signed like Key.
    std::string FunctionName() const;
    // Device number in signed decimal, identity, Id: the same text the I/O side
    // uses for the device. Built once: none of its parts changes.
    const std::string& Key() const { return deviceKey; }

    bool SetFunction(int32_t code, bool force);
    void AddAction(const CommandKey& key, std::shared_ptr<DeviceAction> action);
    void AddLed(std::shared_ptr<DeviceIndicator> indicator);
    void AddNamedIndicator(const std::string& name, std::shared_ptr<NamedIndicator> indicator);
    void ClearMappings();
    bool HandleCommand(const std::string& name, const CommandValue& value);
    void Update(DeviceIOManager& io);

    size_t ActionCount() const;
    size_t LedCount() const { return leds.size(); }

private:
    // Actions bound to one key, in the order they were added.
    using ActionMap =
        std::unordered_map<CommandKey, std::vector<std::shared_ptr<DeviceAction>>, CommandKeyHash>;

    bool ExecuteActions(const CommandValue& value, const CommandKey& key);

    std::string identity;
    uint32_t deviceNumber;
    int32_t model;
    int32_t function;
    std::string port;
    std::string id;
    std::string version;
    std::string deviceKey;
    std::string lastAction;
    std::string lastCommand;
    std::string ledDisplay;
    std::string ledsSent;
    ActionMap actions;
    std::list<std::shared_ptr<DeviceIndicator>> leds;
    std::unordered_map<std::string, std::shared_ptr<NamedIndicator>> namedIndicators;
    std::set<std::shared_ptr<TimeoutAction>> pressedTimeoutActions;
};
