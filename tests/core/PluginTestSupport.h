#pragma once

// An application object built in-process, without windows or a simulator, fed
// device messages directly.

#include "common/RecordingTarget.h"
#include "common/TempFolder.h"
#include "core/Plugin.h"
#include "sim_link/StandinLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A device message as the I/O side sends it (its key: signed id, model, hex id).
    static DeviceIncomingMessage Message(DeviceMessageType type, const std::string& model,
                                         int32_t id, const std::string& port,
                                         const std::string& hexId, const std::string& line = "");
    void Connect(const std::string& model, int32_t id, const std::string& port,
                 const std::string& hexId = "AA");
    void Disconnect(const std::string& model, int32_t id, const std::string& port,
                    const std::string& hexId = "AA");
    void Command(const std::string& model, int32_t id, const std::string& hexId,
                 const std::string& line);
    // Loads a command map with these contents on top of what is loaded.
    void LoadCommandMap(const std::string& contents);
    std::wstring DeviceMapPath() const;
    std::string ReadDeviceMap() const;
    bool HasLine(const std::string& text) const;
    // Texts of every logged line, in order.
    std::vector<std::string> Texts() const;
    // (event id, data) of the held-event queue's entries, held ones first.
    std::vector<std::pair<uint32_t, uint32_t>> HeldEvents() const;
    uint32_t EventId(const std::string& name) const;

    std::shared_ptr<RecordingTarget> log;
    TempFolder temp;
    int mapFiles = 0;
};

// Writes a file in binary mode.
void WriteFile(const std::wstring& path, const std::string& contents);
