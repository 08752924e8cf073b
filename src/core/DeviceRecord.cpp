#include "core/DeviceRecord.h"

#include "device_io/DeviceIOManager.h"
#include "mapping/AnalogPrefixes.h"
#include "mapping/DeviceModels.h"
#include "support/Logger.h"

namespace {

const char* const kFunctionNames[] = {"NONE", "CN1", "CN2", "PFD", "MFD",
                                      "HSI",  "PRI", "SEC", "PFD2"};

int32_t DefaultFunction(int32_t model) {
    const std::set<int>& allowed = ::AllowedFunctions(model);
    return allowed.empty() ? 0 : *allowed.begin();
}

std::string MakeKey(uint32_t deviceNumber, const std::string& identity, const std::string& id) {
    // The I/O side writes the unit id signed; so must we, or the keys differ.
    return std::to_string(static_cast<int32_t>(deviceNumber)) + identity + id;
}

} // namespace

std::string FunctionName(int32_t code) {
    if (code >= 0 && code < static_cast<int32_t>(std::size(kFunctionNames)))
        return kFunctionNames[code];
    return std::to_string(code);
}

char KeyKindSign(int kind) {
    if (kind == CommandKey::Press)
        return '+';
    if (kind == CommandKey::Release)
        return '-';
    return ' ';
}

bool HasAnalogPrefix(const std::string& name) {
    for (const std::string& prefix : AnalogPrefixes)
        if (name.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

DeviceRecord::DeviceRecord(std::string identity, uint32_t deviceNumber, std::string port,
                           std::string id, std::string version)
    : identity(std::move(identity)), deviceNumber(deviceNumber),
      model(ModelFromIdentity(this->identity)), function(DefaultFunction(model)),
      port(std::move(port)), id(std::move(id)), version(std::move(version)),
      deviceKey(MakeKey(this->deviceNumber, this->identity, this->id)) {}

DeviceRecord::DeviceRecord(DeviceRecord&& other) noexcept
    : identity(std::move(other.identity)), deviceNumber(other.deviceNumber), model(other.model),
      function(other.function), port(std::move(other.port)), id(std::move(other.id)),
      version(std::move(other.version)), deviceKey(std::move(other.deviceKey)),
      lastAction(std::move(other.lastAction)), lastCommand(std::move(other.lastCommand)),
      ledDisplay(std::move(other.ledDisplay)) {}

DeviceRecord::DeviceRecord(const DeviceRecord& other)
    : identity(other.identity), deviceNumber(other.deviceNumber), model(other.model),
      function(other.function), port(other.port), id(other.id), version(other.version),
      deviceKey(other.deviceKey), lastAction(other.lastAction), lastCommand(other.lastCommand),
      ledDisplay(other.ledDisplay) {}

std::set<int> DeviceRecord::AllowedFunctions() const {
    return ::AllowedFunctions(model);
}

std::string DeviceRecord::HardwareName() const {
    std::string family = FamilyIdentity(model);
    return family.empty() ? identity : family;
}

std::string DeviceRecord::FunctionName() const {
    // Signed, as in Key: a unit id of -1 names the section "<hardware>#-1".
    if (function == 0)
        return std::to_string(static_cast<int32_t>(deviceNumber));
    return ::FunctionName(function);
}

size_t DeviceRecord::ActionCount() const {
    size_t count = 0;
    for (const auto& entry : actions)
        count += entry.second.size();
    return count;
}

bool DeviceRecord::SetFunction(int32_t code, bool force) {
    if (force) {
        function = code;
        return true;
    }
    const std::set<int>& allowed = ::AllowedFunctions(model);
    if (allowed.empty()) {
        if (code != 0)
            return false;
        function = 0;
        return true;
    }
    if (allowed.count(code) == 0)
        return false;
    function = code;
    return true;
}

void DeviceRecord::AddAction(const CommandKey& key, std::shared_ptr<DeviceAction> action) {
    actions[key].push_back(std::move(action));
}

void DeviceRecord::AddLed(std::shared_ptr<DeviceIndicator> indicator) {
    leds.push_back(std::move(indicator));
}

void DeviceRecord::AddNamedIndicator(const std::string& name,
                                     std::shared_ptr<NamedIndicator> indicator) {
    namedIndicators.emplace(name, std::move(indicator));
}

void DeviceRecord::ClearMappings() {
    pressedTimeoutActions.clear();
    namedIndicators.clear();
    leds.clear();
    actions.clear();
}

bool DeviceRecord::HandleCommand(const std::string& name, const CommandValue& value) {
    lastAction = "(No Action)";
    lastCommand = name;
    bool bound = false;
    if (const int32_t* number = std::get_if<int32_t>(&value); number && !HasAnalogPrefix(name)) {
        CommandKey edge{name, *number != 0 ? CommandKey::Press : CommandKey::Release};
        bound = ExecuteActions(CommandValue{}, edge);
    }
    if (ExecuteActions(value, CommandKey{name, CommandKey::Once}))
        bound = true;
    if (!bound)
        lastAction = "(Unmapped)";
    return bound;
}

bool DeviceRecord::ExecuteActions(const CommandValue& value, const CommandKey& key) {
    auto found = actions.find(key);
    if (found == actions.end() || found->second.empty())
        return false;
    // A copy: an action may not outlive its run if the mappings change under it.
    std::vector<std::shared_ptr<DeviceAction>> bound = found->second;
    for (const std::shared_ptr<DeviceAction>& action : bound) {
        bool acted = false;
        if (std::holds_alternative<std::monostate>(value)) {
            if (LogAccepts(BKFLog::LevelTrace))
                LogTrace("Executing action \"%s\" Ptr:%p", action->Describe().c_str(),
                         static_cast<void*>(action.get()));
            acted = action->Execute(1);
            action->Execute(0);
        } else if (const int32_t* number = std::get_if<int32_t>(&value)) {
            if (auto timeout = std::dynamic_pointer_cast<TimeoutAction>(action)) {
                if (*number != 0)
                    pressedTimeoutActions.insert(timeout);
                else
                    pressedTimeoutActions.erase(timeout);
            }
            acted = action->Execute(*number);
        } else {
            acted = action->Execute(static_cast<int32_t>(std::get<float>(value)));
        }
        if (acted)
            lastAction = action->Describe();
    }
    return true;
}

void DeviceRecord::Update(DeviceIOManager& io) {
    // A copy: ticking may run actions, which must not disturb the iteration.
    std::set<std::shared_ptr<TimeoutAction>> pressed = pressedTimeoutActions;
    for (const auto& action : pressed)
        action->Tick();
    for (const auto& [name, indicator] : namedIndicators) {
        bool changed = false;
        float value = indicator->Value(changed);
        if (changed)
            io.QueueRequest(DeviceIoRequest::SetValue(Key(), name, value));
    }
    std::string chars;
    chars.reserve(leds.size());
    for (const auto& led : leds)
        chars.push_back(led->LedChar());
    if (chars == ledsSent)
        return;
    ledDisplay = "<" + chars;
    io.QueueRequest(DeviceIoRequest::SetLeds(Key(), chars));
    ledsSent = chars;
}
