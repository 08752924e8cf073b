// The Linux-side device emulator daemon, seen from a Windows test process.
#pragma once

#include <winsock2.h>

#include <mutex>
#include <set>
#include <string>

namespace devemu {

struct EmulatorOptions {
    // Empty: $BKF_DEVICE_EMULATOR_DIR if set (then a running daemon is used),
    // else a private folder under $BKF_BINARY_DIR/device_emulator.
    std::string controlDir;
    std::string python; // empty: $BKF_PYTHON or /usr/bin/python3
    std::string script; // empty: $BKF_DEVICE_EMULATOR_SCRIPT or the one in the source tree
    int startTimeoutMs = 15000;
};

// Starts (or joins) the emulator daemon and carries control requests to it
// over TCP. Thread-safe. A daemon this object started ends with it.
class DeviceEmulator {
public:
    DeviceEmulator();
    explicit DeviceEmulator(EmulatorOptions options);
    ~DeviceEmulator();
    DeviceEmulator(const DeviceEmulator&) = delete;
    DeviceEmulator& operator=(const DeviceEmulator&) = delete;

    // Sends one request line; returns the reply after "OK" (without the
    // separating space). Throws std::runtime_error on "ERR ..." or a lost link.
    std::string Request(const std::string& line);

    // The control folder as a Linux path.
    const std::string& ControlDir() const { return controlDir_; }
    bool StartedDaemon() const { return startedDaemon_; }

    // Used by EmulatedDevice to unplug leftovers when the emulator goes away.
    void NotePlugged(class EmulatedDevice* device);
    void NoteUnplugged(class EmulatedDevice* device);

private:
    void StartDaemon(const EmulatorOptions& options);
    void Connect(int timeoutMs);

    std::mutex mutex_;
    std::string controlDir_;
    bool startedDaemon_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::string pending_;
    std::set<EmulatedDevice*> plugged_;
};

// "Z:" + the Linux path with backslashes: how a Wine process reaches a Linux file.
std::wstring LinuxPathToWindows(const std::string& path);

} // namespace devemu
