#include "PluginTestSupport.h"

#include "sim_link/StandinLink.h"

#include <filesystem>
#include <fstream>
#include <sstream>

void WriteFile(const std::wstring& path, const std::string& contents) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file << contents;
}

void PluginTest::SetUp() {
    log = InstallRecordingLogger();
    gPlugin = std::make_unique<Plugin>(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    // Every test starts without stored assignments.
    DeleteFileW(DeviceMapPath().c_str());
    gPlugin->settings->Reset();
}

void PluginTest::TearDown() {
    if (gPlugin) {
        std::wstring deviceMap = DeviceMapPath();
        gPlugin.reset();
        DeleteFileW(deviceMap.c_str());
    }
    gLogger.reset();
}

DeviceIncomingMessage PluginTest::Message(DeviceMessageType type, const std::string& model,
                                          int32_t id, const std::string& port,
                                          const std::string& hexId, const std::string& line) {
    DeviceIncomingMessage message;
    message.type = type;
    message.port = port;
    message.id = id;
    message.model = model;
    message.key = std::to_string(id) + model + hexId;
    message.version = "1.2";
    message.hexId = hexId;
    message.line = line;
    return message;
}

void PluginTest::Connect(const std::string& model, int32_t id, const std::string& port,
                         const std::string& hexId) {
    gPlugin->QueueDeviceMessage(Message(DeviceMessageType::Connected, model, id, port, hexId));
    gPlugin->PollDevices();
}

void PluginTest::Disconnect(const std::string& model, int32_t id, const std::string& port,
                            const std::string& hexId) {
    gPlugin->QueueDeviceMessage(Message(DeviceMessageType::Disconnected, model, id, port, hexId));
    gPlugin->PollDevices();
}

void PluginTest::Command(const std::string& model, int32_t id, const std::string& hexId,
                         const std::string& line) {
    gPlugin->QueueDeviceMessage(
        Message(DeviceMessageType::Command, model, id, "COM1", hexId, line));
    gPlugin->PollDevices();
}

void PluginTest::LoadCommandMap(const std::string& contents) {
    std::wstring path = temp.Path() + L"\\map" + std::to_wstring(++mapFiles) + L".ini";
    WriteFile(path, contents);
    ASSERT_TRUE(gPlugin->settings->Commands().Load(path));
}

std::wstring PluginTest::DeviceMapPath() const {
    return gPlugin->PreferencesFolder() + L"\\DeviceMapping.ini";
}

std::string PluginTest::ReadDeviceMap() const {
    std::ifstream file(std::filesystem::path(DeviceMapPath()), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> PluginTest::Texts() const {
    return LogTexts(*log);
}

bool PluginTest::HasLine(const std::string& text) const {
    return HasLogLine(*log, text);
}

std::vector<std::pair<uint32_t, uint32_t>> PluginTest::HeldEvents() const {
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    for (const auto* list : {&gPlugin->holdQueue.Held(), &gPlugin->holdQueue.Queued()})
        for (const HeldEvent& entry : *list)
            entries.emplace_back(entry.event->Id(), entry.data);
    return entries;
}

uint32_t PluginTest::EventId(const std::string& name) const {
    return gPlugin->clientEvents.GetSimEvent(name)->Id();
}
