#include "device_io/DeviceMessages.h"

#include <utility>

namespace {

const char* TypeName(DeviceMessageType type) {
    switch (type) {
    case DeviceMessageType::Connected:
        return "connected";
    case DeviceMessageType::Disconnected:
        return "disconnected";
    case DeviceMessageType::Command:
        return "command";
    case DeviceMessageType::None:
        break;
    }
    // Also any value outside the named ones.
    return "unknown";
}

} // namespace

std::string DeviceIncomingMessage::ToString() const {
    return "port=" + port + " id=" + std::to_string(id) + " model=" + model +
           " version=" + version + " hexId=" + hexId + " type=" + TypeName(type) + " line=" + line;
}

DeviceIoRequest DeviceIoRequest::Make(DeviceIoRequestKind kind, std::string deviceId,
                                      std::string text) {
    DeviceIoRequest r;
    r.kind = kind;
    r.deviceId = std::move(deviceId);
    r.text = std::move(text);
    return r;
}

DeviceIoRequest DeviceIoRequest::SendReady(std::string deviceId) {
    return Make(DeviceIoRequestKind::SendReady, std::move(deviceId));
}

DeviceIoRequest DeviceIoRequest::SetLeds(std::string deviceId, std::string leds) {
    return Make(DeviceIoRequestKind::SetLeds, std::move(deviceId), std::move(leds));
}

DeviceIoRequest DeviceIoRequest::ClearLeds(std::string deviceId) {
    return Make(DeviceIoRequestKind::ClearLeds, std::move(deviceId));
}

DeviceIoRequest DeviceIoRequest::SetValue(std::string deviceId, std::string name, float value) {
    DeviceIoRequest r = Make(DeviceIoRequestKind::SetValue, std::move(deviceId), std::move(name));
    r.value = value;
    return r;
}

DeviceIoRequest DeviceIoRequest::Recalibrate(std::string deviceId) {
    return Make(DeviceIoRequestKind::Recalibrate, std::move(deviceId));
}

DeviceIoRequest DeviceIoRequest::SetLegacySupport(bool flag) {
    DeviceIoRequest r = Make(DeviceIoRequestKind::SetLegacySupport, std::string());
    r.flag = flag;
    return r;
}
