#pragma once

#include <cstdint>
#include <string>

// What a device message reports, with the numbers the messages have always
// carried.
enum class DeviceMessageType : uint32_t {
    None = 0, // no message: a slot waiting for one
    Connected = 1,
    Disconnected = 2,
    Command = 3,
};

// What a request asks of the device I/O thread; one value per named constructor.
enum class DeviceIoRequestKind : int32_t {
    SendReady = 1,
    SetLeds = 2,
    ClearLeds = 3,
    SetValue = 4,
    Recalibrate = 5,
    SetLegacySupport = 6,
};

// A message from a port watcher to the application thread.
struct DeviceIncomingMessage {
    DeviceMessageType type = DeviceMessageType::None;
    std::string port;
    int32_t id = -1;
    // The device's key (decimal id, model, hex id), by which the application
    // and the requests name the device.
    std::string key;
    std::string model;
    std::string line;
    std::string version;
    std::string hexId;

    std::string ToString() const;
};

// An instruction from the application thread to the device I/O thread.
struct DeviceIoRequest {
    DeviceIoRequestKind kind{}; // set by every named constructor
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
    static DeviceIoRequest Make(DeviceIoRequestKind kind, std::string deviceId,
                                std::string text = {});
};
