// Device messages from the I/O thread: connections with their panel functions,
// disconnections and command lines, and the per-device operations of the window.

#include "core/Plugin.h"

#include "core/DeviceCommand.h"
#include "mapping/DeviceModels.h"
#include "support/Logger.h"

std::vector<std::string> Plugin::DeviceKeys() const {
    std::vector<std::string> keys;
    keys.reserve(devices.size());
    for (const auto& entry : devices)
        keys.push_back(entry.first);
    return keys;
}

void Plugin::PollDevices() {
    if (ioManager)
        ioManager->DispatchIncoming();
    DrainDeviceMessages();
}

void Plugin::QueueDeviceMessage(const DeviceIncomingMessage& message) {
    deviceMessages.push_back(message);
}

void Plugin::DrainDeviceMessages() {
    // The rows show each device's last command and action: one refresh after
    // the batch shows the same as one after every command, and under a burst
    // of commands the window's text updates would otherwise hold up the rest.
    bool commandsHandled = false;
    while (!deviceMessages.empty()) {
        // Taken off first, so a message whose handling fails is not handled again.
        DeviceIncomingMessage message = std::move(deviceMessages.front());
        deviceMessages.pop_front();
        try {
            switch (message.type) {
            case DeviceMessageType::Connected:
                HandleDeviceConnect(message);
                break;
            case DeviceMessageType::Disconnected:
                HandleDeviceDisconnect(message);
                break;
            case DeviceMessageType::Command:
                commandsHandled = true;
                HandleDeviceCommand(message);
                break;
            default: // nothing, or a type this program does not know
                break;
            }
        } catch (const std::exception& error) {
            gLogger->Error("Error handling device message %s: %s", message.ToString().c_str(),
                           error.what());
        }
    }
    if (commandsHandled)
        RefreshWindow();
}

void Plugin::HandleDeviceConnect(const DeviceIncomingMessage& message) {
    gLogger->Info("%s with id %d has connected at port %s with version %s.", message.model.c_str(),
                  message.id, message.port.c_str(), message.version.c_str());
    DeviceRecord record(message.model, static_cast<uint32_t>(message.id), message.port,
                        message.hexId, message.version);
    std::string key = record.Key();
    DeviceRecord& entry = devices.try_emplace(key, std::move(record)).first->second;

    std::shared_ptr<DeviceMapping> mapping;
    if (settings)
        mapping = settings->DeviceMap().Find(message.port, message.model, message.hexId);
    if (!mapping || !entry.SetFunction(mapping->Function, false)) {
        if (mapping)
            gLogger->Info("Got connect for %s (%s) with function %d, but function was rejected",
                          message.port.c_str(), message.model.c_str(), mapping->Function);
        gLogger->Info("Is a new device or had an invalid function in the DeviceMapping.  "
                      "Assigning default function");
        AssignDefaultFunction(key);
        StoreDeviceMapping(entry);
    }
    if (simActive) {
        RegisterEvents(key);
        simVars.RequestPending();
    }
    RefreshWindow();
}

void Plugin::AssignDefaultFunction(const std::string& key) {
    DeviceRecord* record = FindDevice(key);
    if (!record)
        return;
    std::set<int> allowed = record->AllowedFunctions();
    if (allowed.size() <= 1) {
        record->SetFunction(allowed.empty() ? 0 : *allowed.begin(), false);
        return;
    }
    std::set<int> candidates = allowed;
    for (const auto& [otherKey, other] : devices)
        if (otherKey != key && ModelsInterchangeable(other.ModelNumber(), record->ModelNumber()))
            candidates.erase(other.Function());
    int function = candidates.empty() ? *allowed.begin() : *candidates.begin();
    gLogger->Info("Assigning %s function %s", key.c_str(), ::FunctionName(function).c_str());
    record->SetFunction(function, true);
}

void Plugin::StoreDeviceMapping(const DeviceRecord& record) {
    if (!settings)
        return;
    settings->DeviceMap().SetMapping(record.Port(), record.Identity(), record.Function(),
                                     record.Id());
    settings->SaveDeviceMap();
}

void Plugin::HandleDeviceDisconnect(const DeviceIncomingMessage& message) {
    gLogger->Info("%s with id %d has disconnected from port %s.", message.model.c_str(), message.id,
                  message.port.c_str());
    RemoveEvents(message.key);
    devices.erase(message.key);
    RefreshWindow();
}

void Plugin::HandleDeviceCommand(const DeviceIncomingMessage& message) {
    DeviceRecord* record = FindDevice(message.key);
    if (!record) {
        gLogger->Debug("asked to process command for non-existant device (%s)",
                       message.key.c_str());
        return;
    }
    DeviceCommand command = ParseDeviceCommand(message.line);
    LogTrace("Received event %s", command.name.c_str());
    if (!record->HandleCommand(command.name, command.value))
        gLogger->Warning("Command from %s with id %d not mapped: %s", message.model.c_str(),
                         message.id, message.line.c_str());
}

void Plugin::SetDeviceFunction(const std::string& key, uint32_t function) {
    DeviceRecord* record = FindDevice(key);
    if (!record || !record->SetFunction(static_cast<int32_t>(function), false))
        return;
    if (simActive)
        RemoveEvents(key);
    if (settings)
        settings->DeviceMap().SetMapping(record->Port(), record->Identity(),
                                         static_cast<int>(function), record->Id());
    if (simActive) {
        RegisterEvents(key);
        simVars.RequestPending();
    }
    if (settings)
        settings->SaveDeviceMap();
}

void Plugin::RecalibrateYokes() {
    if (!ioManager)
        return;
    for (const auto& [key, record] : devices)
        if (record.ModelNumber() == kYokeDeviceModel)
            ioManager->QueueRequest(DeviceIoRequest::Recalibrate(key));
}

void Plugin::RefreshWindow() {
    if (!mainWindow)
        return;
    mainWindow->UpdateYokeMenu();
    mainWindow->Refresh(false);
}

void Plugin::UpdateDevices() {
    if (!ioManager)
        return;
    for (auto& entry : devices)
        entry.second.Update(*ioManager);
}
