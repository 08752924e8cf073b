// One emulated USB serial device on a Wine COM port, for tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "DeviceEmulator.h"
#include "UsbRegistry.h"

namespace devemu {

struct PlugOptions {
    int comNumber = 10;
    uint16_t vid = 0x32B6;
    uint16_t pid = 0x0001;
    std::string serial;   // empty: "EMU<com>"
    std::string identity; // empty: a silent device
    int identityIntervalMs = 1000;
    // Registry entry to write instead of the usual USB one (its port name is
    // used as given); leave deviceId empty for the usual entry.
    UsbRegistryEntry registryEntry;
};

struct ReceivedLine {
    double time = 0;  // seconds, Linux wall clock (the clock the Send calls return)
    std::string text; // without the final "\n"
};

class EmulatedDevice {
public:
    explicit EmulatedDevice(DeviceEmulator& emulator);
    ~EmulatedDevice();
    EmulatedDevice(const EmulatedDevice&) = delete;
    EmulatedDevice& operator=(const EmulatedDevice&) = delete;

    // Opens the pty, maps it to COM<comNumber> and registers the USB device.
    void Plug(const PlugOptions& options);
    void Plug(int comNumber, uint16_t vid, uint16_t pid, const std::string& serial,
              const std::string& identity, int identityIntervalMs = 1000);
    // Removes the registry entry, then closes the pty and the COM mapping.
    void Unplug();
    bool IsPlugged() const { return plugged_; }

    // Identity "" or interval 0 keeps the device silent.
    void SetIdentity(const std::string& identity, int intervalMs);
    void StopIdentity();

    // Device to host; each returns the emulator's send time.
    double SendLine(const std::string& text);
    double SendRaw(const std::string& bytes);
    double SendOverlongLine(size_t length, char fill = 'X');
    double SendBurst(int count, const std::string& prefix);

    // Host to device.
    std::vector<std::string> ReceivedLines();
    std::vector<ReceivedLine> ReceivedLinesWithTime(size_t from = 0);
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout);
    bool WaitForLineCount(size_t count, std::chrono::milliseconds timeout);
    void ClearReceived();

    // host_open, host_opens, lines_received, bytes_sent, bytes_dropped, pty, ...
    std::map<std::string, std::string> Status();
    bool WaitForHostOpen(bool open, std::chrono::milliseconds timeout);

    int ComNumber() const { return options_.comNumber; }
    std::wstring PortName() const;   // L"COM10"
    std::wstring DevicePath() const; // L"\\.\COM10"
    const std::string& PtyPath() const { return ptyPath_; }
    const UsbRegistryEntry& RegistryEntry() const { return entry_; }

private:
    std::string Com() const { return std::to_string(options_.comNumber); }
    double SendTime(const std::string& reply) const;
    void RequirePlugged() const;

    DeviceEmulator& emulator_;
    PlugOptions options_;
    UsbRegistryEntry entry_;
    std::string ptyPath_;
    bool plugged_ = false;
};

} // namespace devemu
