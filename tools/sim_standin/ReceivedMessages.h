#pragma once

#include "WireFormat.h"

#include <cstdint>
#include <string>

namespace standin {

// dwID values of the messages the server sends.
enum MessageId : uint32_t {
    MsgException = 1,
    MsgOpen = 2,
    MsgQuit = 3,
    MsgEvent = 4,
    MsgEventFilename = 6,
    MsgEventFrame = 7,
    MsgSimObjectData = 8,
    MsgSystemState = 15,
    MsgResponseTimes = 0x10001,
};

constexpr uint32_t NoGroup = 0xFFFFFFFF;
constexpr size_t PathSize = 260;

Bytes MakeOpenMessage(const std::string& applicationName);
Bytes MakeExceptionMessage(uint32_t exception, uint32_t sendId, uint32_t index);
Bytes MakeQuitMessage();
Bytes MakeEventMessage(uint32_t groupId, uint32_t eventId, uint32_t data);
Bytes MakeEventFilenameMessage(uint32_t groupId, uint32_t eventId, uint32_t data,
                               const std::string& fileName);
Bytes MakeEventFrameMessage(uint32_t groupId, uint32_t eventId, float frameRate, float simSpeed);
Bytes MakeSimObjectDataMessage(uint32_t requestId, uint32_t objectId, uint32_t defineId,
                               uint32_t flags, uint32_t defineCount, const Bytes& values);
Bytes MakeSystemStateMessage(uint32_t requestId, uint32_t integer, float value,
                             const std::string& text);
Bytes MakeResponseTimesMessage(uint64_t received, uint64_t answered);

// The message's name for the record ("EVENT", "SIMOBJECT_DATA", ...).
const char* MessageName(uint32_t id);

} // namespace standin
