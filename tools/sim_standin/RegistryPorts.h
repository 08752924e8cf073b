#pragma once

#include <string>

namespace standin {

// The port values under HKCU "SOFTWARE\Microsoft\Microsoft Games\KittyHawk" that
// clients read to find the TCP listeners.
class RegistryPorts {
public:
    RegistryPorts() = default;
    ~RegistryPorts();
    RegistryPorts(const RegistryPorts&) = delete;
    RegistryPorts& operator=(const RegistryPorts&) = delete;

    // valueName: "SimConnect_Port_IPv4" or "SimConnect_Port_IPv6".
    bool Write(const char* valueName, unsigned short port);
    // Removes the values written, when they still hold what was written.
    void Remove();

private:
    struct Written {
        const char* name;
        std::string text;
    };
    Written written[2] = {{nullptr, {}}, {nullptr, {}}};
};

} // namespace standin
