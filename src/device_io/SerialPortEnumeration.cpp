#include "device_io/SerialPortEnumeration.h"

#include <windows.h>
#include <setupapi.h>

#include <cstdlib>
#include <cstring>

namespace enumerate {

HardwareId::HardwareId(uint16_t vendor, uint16_t product)
    : vendorId(vendor), productId(product), hasUsbId(true) {}

HardwareId::HardwareId(uint16_t vendor, uint16_t product, uint8_t interfaceNo)
    : vendorId(vendor), productId(product), interfaceNumber(interfaceNo), hasUsbId(true),
      hasInterface(true) {}

bool HardwareId::operator==(const HardwareId& other) const {
    if (!hasUsbId || !other.hasUsbId)
        return false;
    if (vendorId != other.vendorId || productId != other.productId)
        return false;
    if (hasInterface != other.hasInterface)
        return false;
    return !hasInterface || interfaceNumber == other.interfaceNumber;
}

SerialPort::SerialPort(std::string portName, HardwareId id)
    : name(std::move(portName)), hardwareId(id) {}

bool SerialPort::operator==(const SerialPort& other) const {
    return name == other.name && hardwareId == other.hardwareId;
}

std::deque<std::string> SplitString(const std::string& text, char delimiter, int maxParts) {
    std::deque<std::string> parts;
    size_t start = 0;
    while (start < text.size()) {
        if (maxParts > 1 && static_cast<int>(parts.size()) == maxParts - 1) {
            parts.push_back(text.substr(start));
            return parts;
        }
        size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
        if (start == text.size() && maxParts > 1 && static_cast<int>(parts.size()) == maxParts - 1)
            parts.push_back(std::string());
    }
    return parts;
}

bool StartsWith(const std::string& prefix, const std::string& text) {
    return text.compare(0, prefix.size(), prefix) == 0 && text.size() >= prefix.size();
}

std::string StripPrefix(const std::string& prefix, const std::string& text) {
    return StartsWith(prefix, text) ? text.substr(prefix.size()) : text;
}

namespace {

bool ParseHex(const std::string& prefix, const std::string& token, unsigned long& out) {
    if (!StartsWith(prefix, token))
        return false;
    const char* begin = token.c_str() + prefix.size();
    char* end = nullptr;
    unsigned long v = std::strtoul(begin, &end, 16);
    if (end == begin)
        return false;
    out = v;
    return true;
}

// The parsed value cut to the field's width.
template <typename Field>
bool ParseHexInto(const std::string& prefix, const std::string& token, Field& value) {
    unsigned long v = 0;
    if (!ParseHex(prefix, token, v))
        return false;
    value = static_cast<Field>(v);
    return true;
}

} // namespace

bool ParseHexField(const std::string& prefix, const std::string& token, uint8_t& value) {
    return ParseHexInto(prefix, token, value);
}

bool ParseHexField(const std::string& prefix, const std::string& token, uint16_t& value) {
    return ParseHexInto(prefix, token, value);
}

HardwareId ParseHardwareId(const std::string& hardwareId) {
    size_t slash = hardwareId.find('\\');
    if (hardwareId.empty() || slash == std::string::npos)
        throw InvalidHardwareIdException("Missing namespace delimiter");
    uint16_t vendor = 0, product = 0;
    uint8_t interfaceNo = 0;
    bool haveVendor = false, haveProduct = false, haveInterface = false;
    for (const std::string& token : SplitString(hardwareId.substr(slash + 1), '&', 0)) {
        uint16_t v16 = 0;
        uint8_t v8 = 0;
        if (ParseHexField("VID_", token, v16)) {
            if (haveVendor)
                throw InvalidHardwareIdException("multiple vendor IDs");
            vendor = v16;
            haveVendor = true;
        } else if (ParseHexField("PID_", token, v16)) {
            if (haveProduct)
                throw InvalidHardwareIdException("multiple product IDs");
            product = v16;
            haveProduct = true;
        } else if (ParseHexField("MI_", token, v8)) {
            if (haveInterface)
                throw InvalidHardwareIdException("multiple interface numbers");
            interfaceNo = v8;
            haveInterface = true;
        }
    }
    if (!haveVendor || !haveProduct)
        throw InvalidHardwareIdException("incomplete USB ID");
    return haveInterface ? HardwareId(vendor, product, interfaceNo) : HardwareId(vendor, product);
}

std::deque<std::string> HardwareIdStrings(unsigned long type, const char* data, size_t size) {
    std::deque<std::string> strings;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        strings.emplace_back(data, strnlen(data, size));
    } else if (type == REG_MULTI_SZ) {
        size_t pos = 0;
        while (pos < size) {
            size_t len = strnlen(data + pos, size - pos);
            if (len == 0)
                break;
            strings.emplace_back(data + pos, len);
            pos += len + 1;
        }
    }
    return strings;
}

HardwareId FirstUsbHardwareId(const std::deque<std::string>& strings, std::string& parsedText) {
    for (const std::string& s : strings) {
        try {
            HardwareId id = ParseHardwareId(s);
            parsedText = s;
            return id;
        } catch (const InvalidHardwareIdException&) {
        }
    }
    return HardwareId();
}

namespace {

// The PortName value of a device's hardware key; empty when it cannot be read.
std::string ReadPortName(HDEVINFO devices, SP_DEVINFO_DATA& info) {
    HKEY key = SetupDiOpenDevRegKey(devices, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE || key == nullptr)
        return std::string();
    char buffer[512];
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    std::string name;
    if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_MULTI_SZ)) {
        // The stored value need not be terminated: end it at the size read.
        name.assign(buffer, strnlen(buffer, size));
    }
    RegCloseKey(key);
    return name;
}

} // namespace

std::deque<SerialPort> EnumerateSerialPortsOf(const std::string& enumerator) {
    std::deque<SerialPort> ports;
    HDEVINFO devices = SetupDiGetClassDevsA(nullptr, enumerator.c_str(), nullptr,
                                            DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE)
        return ports;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA info;
        std::memset(&info, 0, sizeof(info));
        info.cbSize = sizeof(info);
        if (!SetupDiEnumDeviceInfo(devices, index, &info))
            break;
        char buffer[512];
        DWORD type = 0;
        DWORD size = 0;
        if (!SetupDiGetDeviceRegistryPropertyA(devices, &info, SPDRP_HARDWAREID, &type,
                                               reinterpret_cast<BYTE*>(buffer), sizeof(buffer),
                                               &size))
            continue;
        if (size > sizeof(buffer))
            size = sizeof(buffer);
        std::string idText;
        HardwareId id = FirstUsbHardwareId(HardwareIdStrings(type, buffer, size), idText);
        if (!id.hasUsbId)
            continue;
        std::string portName = ReadPortName(devices, info);
        if (StartsWith("COM", portName))
            ports.emplace_back("\\\\.\\" + portName, ParseHardwareId(idText));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return ports;
}

std::deque<SerialPort> EnumerateSerialPorts() {
    std::deque<SerialPort> ports = EnumerateSerialPortsOf("USB");
    for (SerialPort& port : EnumerateSerialPortsOf("Ports"))
        ports.push_back(std::move(port));
    return ports;
}

} // namespace enumerate
