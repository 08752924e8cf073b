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

DeviceIoRequest DeviceIoRequest::Make(int32_t kind, std::string deviceId, std::string text) {
    DeviceIoRequest r;
    r.kind = kind;
    r.deviceId = std::move(deviceId);
    r.text = std::move(text);
    return r;
}

DeviceIoRequest DeviceIoRequest::SendReady(std::string deviceId) {
    return Make(1, std::move(deviceId));
}

DeviceIoRequest DeviceIoRequest::SetLeds(std::string deviceId, std::string leds) {
    return Make(2, std::move(deviceId), std::move(leds));
}

DeviceIoRequest DeviceIoRequest::ClearLeds(std::string deviceId) {
    return Make(3, std::move(deviceId));
}

DeviceIoRequest DeviceIoRequest::SetValue(std::string deviceId, std::string name, float value) {
    DeviceIoRequest r = Make(4, std::move(deviceId), std::move(name));
    r.value = value;
    return r;
}

DeviceIoRequest DeviceIoRequest::Recalibrate(std::string deviceId) {
    return Make(5, std::move(deviceId));
}

DeviceIoRequest DeviceIoRequest::SetLegacySupport(bool flag) {
    DeviceIoRequest r = Make(6, std::string());
    r.flag = flag;
    return r;
}
