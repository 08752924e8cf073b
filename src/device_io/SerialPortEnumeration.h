#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>

namespace enumerate {

// USB vendor, product and interface number parsed from a hardware id.
struct HardwareId {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t interfaceNumber = 0;
    bool hasUsbId = false;
    bool hasInterface = false;

    HardwareId() = default;
    HardwareId(uint16_t vendor, uint16_t product);
    HardwareId(uint16_t vendor, uint16_t product, uint8_t interfaceNo);

    // Ids without USB data equal nothing, themselves included.
    bool operator==(const HardwareId& other) const;
    bool operator!=(const HardwareId& other) const { return !(*this == other); }
};

struct SerialPort {
    std::string name; // device path, such as \\.\COM3
    HardwareId hardwareId;

    SerialPort() = default;
    SerialPort(std::string name, HardwareId id);

    bool operator==(const SerialPort& other) const;
    bool operator!=(const SerialPort& other) const { return !(*this == other); }
};

class InvalidHardwareIdException : public std::runtime_error {
public:
    explicit InvalidHardwareIdException(const std::string& text) : std::runtime_error(text) {}
};

std::deque<SerialPort> EnumerateSerialPorts();
std::deque<SerialPort> EnumerateSerialPortsOf(const std::string& enumerator);

HardwareId ParseHardwareId(const std::string& hardwareId);

std::deque<std::string> SplitString(const std::string& text, char delimiter, int maxParts);
bool StartsWith(const std::string& prefix, const std::string& text);
std::string StripPrefix(const std::string& prefix, const std::string& text);
bool ParseHexField(const std::string& prefix, const std::string& token, uint8_t& value);
bool ParseHexField(const std::string& prefix, const std::string& token, uint16_t& value);

// The hardware id strings of one registry value: a REG_SZ or REG_EXPAND_SZ
// text, or the strings of a REG_MULTI_SZ list. Data need not be terminated.
std::deque<std::string> HardwareIdStrings(unsigned long type, const char* data, size_t size);

// The first hardware id string that parses; the default id when none does.
HardwareId FirstUsbHardwareId(const std::deque<std::string>& strings, std::string& parsedText);

} // namespace enumerate
