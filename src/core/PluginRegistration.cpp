// A device's command-map section turned into its actions and LEDs, and dropped again.

#include "core/Plugin.h"

#include "mapping/CommandMapErrors.h"
#include "mapping/DeviceModels.h"
#include "support/Logger.h"
#include "support/MonotonicClock.h"

void Plugin::RegisterEvents(const std::string& key) {
    DeviceRecord* record = FindDevice(key);
    if (!record) {
        LogTrace("Asked to RegisterEvents for id %s, but device is not known", key.c_str());
        return;
    }
    // A registration replaces the previous one; binding on top of it would send
    // every event twice and repeat every LED.
    record->ClearMappings();
    if (record->ModelNumber() == kYokeDeviceModel && yokeDialog)
        yokeDialog->AddYoke(key);

    const std::string hardware = record->HardwareName();
    const std::string function = record->FunctionName();
    const CommandBindings* commands = nullptr;
    const std::vector<IndicatorEntry>* indicators = nullptr;
    if (settings) {
        try {
            commands = &settings->Commands().Commands(hardware, function);
        } catch (const no_command_mapped_err&) {
        }
        try {
            indicators = &settings->Commands().Indicators(hardware, function);
        } catch (const no_command_mapped_err&) {
        }
    }
    if (commands)
        ResolveCommands(*record, *commands);
    else
        gLogger->Info("No Commands found for device %s of Hardware %s with Function %s",
                      key.c_str(), record->Identity().c_str(), function.c_str());
    if (indicators)
        ResolveIndicators(*record, *indicators);
    else
        gLogger->Info("No Indicator/Channel Mappings found for device %s of Hardware %s with "
                      "Function %s",
                      key.c_str(), record->Identity().c_str(), function.c_str());

    if (ioManager)
        ioManager->QueueRequest(DeviceIoRequest::SendReady(record->Key()));
    if (mainWindow)
        mainWindow->Refresh(false);
    registrationPending = true;
}

void Plugin::ResolveCommands(DeviceRecord& record, const CommandBindings& bindings) {
    for (const auto& [commandKey, entries] : bindings) {
        gLogger->Info("Resolving commands for line: %s%c", commandKey.name.c_str(),
                      KeyKindSign(commandKey.kind));
        for (const CommandAction& entry : entries) {
            std::string mapped = eventMapper.MapEventName(entry.eventName);
            std::string display = mapped != entry.eventName ? entry.eventName : std::string();
            uint32_t data = static_cast<uint32_t>(entry.fixedData);
            std::shared_ptr<DeviceAction> action;
            if (entry.keyCondition) {
                action = std::make_shared<SimEventConditionalAction>(mapped, data,
                                                                     *entry.keyCondition, display);
            } else if (entry.hold) {
                auto shortAction = std::make_shared<SimEventAction>(mapped, data, display);
                std::string longName = eventMapper.MapEventName(entry.hold->longEventName);
                std::string longDisplay =
                    longName != entry.hold->longEventName ? entry.hold->longEventName : "";
                auto longAction = std::make_shared<SimEventAction>(
                    longName, static_cast<uint32_t>(entry.hold->longFixedData), longDisplay);
                action = std::make_shared<TimeoutAction>(shortAction, longAction,
                                                         entry.hold->holdTime, MonotonicNowNs);
            } else {
                action = std::make_shared<SimEventAction>(mapped, data, display);
            }
            record.AddAction(commandKey, action);
        }
    }
}

void Plugin::ResolveIndicators(DeviceRecord& record, const std::vector<IndicatorEntry>& entries) {
    for (const IndicatorEntry& entry : entries) {
        std::shared_ptr<SimVarRegistration> registration;
        if (!entry.variableName.empty())
            registration = simVars.Register(
                SimVarKey{entry.variableName, entry.unit, static_cast<uint32_t>(entry.dataType)});
        if (!registration) {
            AddNullIndicator(record, entry);
            continue;
        }
        // Named entries are parsed but not bound: their registration goes at once.
        if (entry.kind == IndicatorEntry::Led)
            record.AddLed(std::make_shared<DeviceIndicatorSimple>(std::move(registration),
                                                                  entry.compareValue));
    }
}

void Plugin::AddNullIndicator(DeviceRecord& record, const IndicatorEntry& entry) {
    if (entry.kind == IndicatorEntry::Led)
        record.AddLed(std::make_shared<NullDeviceIndicator>());
}

void Plugin::RemoveEvents(const std::string& key) {
    DeviceRecord* record = FindDevice(key);
    if (!record) {
        LogTrace("Asked to RemoveEvents for id %s, but device is not known", key.c_str());
        return;
    }
    record->ClearMappings();
    if (record->ModelNumber() == kYokeDeviceModel && yokeDialog)
        yokeDialog->RemoveYoke(key);
}

void Plugin::ReregisterAllDevices() {
    for (const std::string& key : DeviceKeys()) {
        RemoveEvents(key);
        RegisterEvents(key);
    }
    simVars.RequestPending();
}
