#pragma once

// Where a connection goes: SimConnect.cfg in three folders and the port values
// the simulator publishes in the registry.

#include <cstdint>
#include <string>
#include <vector>

namespace simconnect {

constexpr uint32_t ProtocolPipe = 1;
constexpr uint32_t ProtocolIPv4 = 2;
constexpr uint32_t ProtocolIPv6 = 23;
constexpr uint32_t NoConfigIndex = 0xFFFFFFFF;

// Results of OpenClientTransport and the section check.
constexpr int TransportConnected = 0;
constexpr int TransportFailed = 1;
constexpr int TransportNoSection = 3;

struct ClientConfig {
    uint32_t protocol = ProtocolPipe;
    std::string address;
    std::string port;
    uint32_t maxReceiveSize = 41088;
    bool disableNagle = false;
};

// The SimConnect.cfg paths in reading order: common documents, the user's
// documents, the current directory. Folders that cannot be found are left out.
std::vector<std::string> ConfigFilePaths();

// "SimConnect" for index 0, else "SimConnect.<index>".
std::string ConfigSectionName(uint32_t configIndex);

// 0 when the file has the section, else 3.
int ConfigSectionExists(const std::string& path, uint32_t configIndex);

// 0 when index 0 or 0xFFFFFFFF or some file has the section, else 3.
int CheckConfigSection(uint32_t configIndex);

void ReadClientConfigFile(const std::string& path, uint32_t configIndex, ClientConfig& config);
void ReadClientConfig(uint32_t configIndex, ClientConfig& config);

// Empties port, then fills it from the registry value of that family.
bool ReadRegistryPort(bool ipv6, std::string& port);

} // namespace simconnect
