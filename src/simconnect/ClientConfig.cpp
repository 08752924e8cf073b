#include "simconnect/ClientConfig.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace simconnect {

namespace {

constexpr const char* ConfigFileName = "SimConnect.cfg";
constexpr const char* PortKey = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
constexpr DWORD ValueBufferSize = 2048;
constexpr DWORD RegistryPortSize = 20;

std::string ReadKey(const std::string& path, const std::string& section, const char* key) {
    char value[ValueBufferSize];
    GetPrivateProfileStringA(section.c_str(), key, "", value, ValueBufferSize, path.c_str());
    return value;
}

bool CombineInFolder(const char* folder, std::string& path) {
    char combined[MAX_PATH];
    if (!PathCombineA(combined, folder, ConfigFileName))
        return false;
    path = combined;
    return true;
}

} // namespace

std::vector<std::string> ConfigFilePaths() {
    std::vector<std::string> paths;
    std::string path;
    char folder[MAX_PATH];
    for (int csidl : {CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL}) {
        if (SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, folder)) &&
            CombineInFolder(folder, path))
            paths.push_back(path);
    }
    char current[260];
    DWORD length = GetCurrentDirectoryA(sizeof(current), current);
    if (length > 0 && length < sizeof(current) && CombineInFolder(current, path))
        paths.push_back(path);
    return paths;
}

std::string ConfigSectionName(uint32_t configIndex) {
    if (configIndex == 0)
        return "SimConnect";
    char name[26];
    snprintf(name, sizeof(name), "SimConnect.%u", configIndex);
    return name;
}

int ConfigSectionExists(const std::string& path, uint32_t configIndex) {
    char buffer[30];
    DWORD count = GetPrivateProfileSectionA(ConfigSectionName(configIndex).c_str(), buffer,
                                            sizeof(buffer), path.c_str());
    return count != 0 ? 0 : 3;
}

int CheckConfigSection(uint32_t configIndex) {
    if (configIndex == 0 || configIndex == NoConfigIndex)
        return 0;
    for (const std::string& path : ConfigFilePaths()) {
        if (ConfigSectionExists(path, configIndex) == 0)
            return 0;
    }
    return TransportNoSection;
}

bool ReadRegistryPort(bool ipv6, std::string& port) {
    port.clear();
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PortKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char value[RegistryPortSize + 1] = {};
    DWORD size = RegistryPortSize;
    LONG status = RegQueryValueExA(key, ipv6 ? "SimConnect_Port_IPv6" : "SimConnect_Port_IPv4",
                                   nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    port.assign(value, strnlen(value, RegistryPortSize));
    return true;
}

void ReadClientConfigFile(const std::string& path, uint32_t configIndex, ClientConfig& config) {
    std::string section = ConfigSectionName(configIndex);
    std::string protocol = ReadKey(path, section, "Protocol");
    if (lstrcmpiA(protocol.c_str(), "Auto") == 0 || lstrcmpiA(protocol.c_str(), "Pipe") == 0) {
        config.protocol = ProtocolPipe;
    } else if (lstrcmpiA(protocol.c_str(), "IPv4") == 0) {
        config.protocol = ProtocolIPv4;
        if (config.port.empty())
            ReadRegistryPort(false, config.port);
    } else if (lstrcmpiA(protocol.c_str(), "IPv6") == 0) {
        config.protocol = ProtocolIPv6;
        if (config.port.empty())
            ReadRegistryPort(true, config.port);
    }
    std::string address = ReadKey(path, section, "Address");
    if (!address.empty())
        config.address = address;
    std::string port = ReadKey(path, section, "Port");
    if (!port.empty())
        config.port = port;
    std::string maxReceive = ReadKey(path, section, "MaxReceiveSize");
    if (!maxReceive.empty()) {
        uint32_t value = static_cast<uint32_t>(atoi(maxReceive.c_str()));
        if (value > config.maxReceiveSize)
            config.maxReceiveSize = value;
    }
    std::string nagle = ReadKey(path, section, "DisableNagle");
    if (!nagle.empty())
        config.disableNagle = atoi(nagle.c_str()) != 0;
}

void ReadClientConfig(uint32_t configIndex, ClientConfig& config) {
    config = ClientConfig();
    for (const std::string& path : ConfigFilePaths())
        ReadClientConfigFile(path, configIndex, config);
}

} // namespace simconnect
