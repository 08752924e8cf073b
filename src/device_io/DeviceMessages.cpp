#include "device_io/DeviceMessages.h"

#include <utility>

namespace {

const char* TypeName(uint32_t type) {
    switch (type) {
    case 1:
        return "connected";
    case 2:
        return "disconnected";
    case 3:
        return "command";
    default:
        return "unknown";
    }
}

} // namespace

std::string DeviceIncomingMessage::ToString() const {
    return "port=" + port + " id=" + std::to_string(id) + " model=" + model +
           " version=" + version + " hexId=" + hexId + " type=" + TypeName(type) + " line=" + line;
}

DeviceIoRequest DeviceIoRequest::SendReady(std::string deviceId) {
    DeviceIoRequest r;
    r.kind = 1;
    r.deviceId = std::move(deviceId);
    return r;
}

DeviceIoRequest DeviceIoRequest::SetLeds(std::string deviceId, std::string leds) {
    DeviceIoRequest r;
    r.kind = 2;
    r.deviceId = std::move(deviceId);
    r.text = std::move(leds);
    return r;
}

DeviceIoRequest DeviceIoRequest::ClearLeds(std::string deviceId) {
    DeviceIoRequest r;
    r.kind = 3;
    r.deviceId = std::move(deviceId);
    return r;
}

DeviceIoRequest DeviceIoRequest::SetValue(std::string deviceId, std::string name, float value) {
    DeviceIoRequest r;
    r.kind = 4;
    r.deviceId = std::move(deviceId);
    r.text = std::move(name);
    r.value = value;
    return r;
}

DeviceIoRequest DeviceIoRequest::Recalibrate(std::string deviceId) {
    DeviceIoRequest r;
    r.kind = 5;
    r.deviceId = std::move(deviceId);
    return r;
}

DeviceIoRequest DeviceIoRequest::SetLegacySupport(bool flag) {
    DeviceIoRequest r;
    r.kind = 6;
    r.flag = flag;
    return r;
}
