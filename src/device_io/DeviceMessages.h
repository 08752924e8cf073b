#pragma once

#include <cstdint>
#include <string>

// A message from a port watcher to the application thread.
struct DeviceIncomingMessage {
    uint32_t type = 0; // 1 connected, 2 disconnected, 3 command; 0 nothing
    std::string port;
    int32_t id = -1;
    std::string identity;
    std::string model;
    std::string line;
    std::string version;
    std::string hexId;

    std::string ToString() const;
};

// An instruction from the application thread to the device I/O thread.
struct DeviceIoRequest {
    int32_t kind = 0;
    std::string deviceId;
    std::string text;
    float value = 0.0f;
    bool flag = false;

    static DeviceIoRequest SendReady(std::string deviceId);
    static DeviceIoRequest SetLeds(std::string deviceId, std::string leds);
    static DeviceIoRequest ClearLeds(std::string deviceId);
    static DeviceIoRequest SetValue(std::string deviceId, std::string name, float value);
    static DeviceIoRequest Recalibrate(std::string deviceId);
    static DeviceIoRequest SetLegacySupport(bool flag);

private:
    DeviceIoRequest() = default;
    static DeviceIoRequest Make(int32_t kind, std::string deviceId, std::string text = {});
};
