// Registry entries that make Wine's SetupAPI list an emulated USB serial device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devemu {

// One device instance key:
// HKLM\System\CurrentControlSet\Enum\<enumerator>\<deviceId>\<instance>.
struct UsbRegistryEntry {
    std::wstring enumerator = L"USB";
    std::wstring deviceId; // e.g. VID_32B6&PID_0001
    std::wstring instance; // e.g. the serial number
    std::vector<std::wstring> hardwareIds;
    bool hardwareIdAsMultiString = true; // false: the first id as REG_SZ
    std::wstring portName;               // "Device Parameters\PortName"; none when empty
};

// The usual entry of a USB serial device: hardware ids
// "USB\VID_xxxx&PID_yyyy&REV_0100" and "USB\VID_xxxx&PID_yyyy", port COM<comNumber>.
UsbRegistryEntry MakeUsbSerialEntry(int comNumber, uint16_t vid, uint16_t pid,
                                    const std::wstring& serial);

// Creates the entry, replacing any earlier one of the same instance. An owned
// entry is marked with this process's id, so that RemoveStaleEntries removes
// it once this process has gone. Throws std::runtime_error on failure.
void RegisterDevice(const UsbRegistryEntry& entry, bool owned = true);

// Removes the instance key, and the device id key once it is empty. A missing
// key is not an error. Throws std::runtime_error on failure.
void UnregisterDevice(const UsbRegistryEntry& entry);

// Removes the entries that emulated devices of processes no longer running
// left behind (a test that crashed). Returns how many were removed.
int RemoveStaleEntries();

} // namespace devemu
