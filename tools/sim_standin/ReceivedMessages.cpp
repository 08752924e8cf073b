#include "ReceivedMessages.h"

namespace standin {

namespace {

constexpr uint32_t ServerVersion = 5;

MessageWriter Start(uint32_t id) {
    MessageWriter writer;
    writer.U32(0).U32(ServerVersion).U32(id);
    return writer;
}

Bytes Finish(MessageWriter& writer) {
    Bytes bytes = std::move(writer.Data());
    uint32_t size = uint32_t(bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(size >> (8 * i));
    return bytes;
}

} // namespace

Bytes MakeOpenMessage(const std::string& applicationName) {
    MessageWriter writer = Start(MsgOpen);
    writer.FixedString(applicationName, 256);
    // Application version and build, then server version and build.
    writer.U32(1).U32(0).U32(1).U32(0).U32(5).U32(0).U32(5).U32(0);
    // Host client id 0 (no in-process host) and a reserved word.
    writer.U32(0).U32(0);
    return Finish(writer);
}

Bytes MakeExceptionMessage(uint32_t exception, uint32_t sendId, uint32_t index) {
    MessageWriter writer = Start(MsgException);
    writer.U32(exception).U32(sendId).U32(index);
    return Finish(writer);
}

Bytes MakeQuitMessage() {
    MessageWriter writer = Start(MsgQuit);
    return Finish(writer);
}

Bytes MakeEventMessage(uint32_t groupId, uint32_t eventId, uint32_t data) {
    MessageWriter writer = Start(MsgEvent);
    writer.U32(groupId).U32(eventId).U32(data);
    return Finish(writer);
}

Bytes MakeEventFilenameMessage(uint32_t groupId, uint32_t eventId, uint32_t data,
                               const std::string& fileName) {
    MessageWriter writer = Start(MsgEventFilename);
    writer.U32(groupId).U32(eventId).U32(data).FixedString(fileName, PathSize);
    return Finish(writer);
}

Bytes MakeEventFrameMessage(uint32_t groupId, uint32_t eventId, float frameRate, float simSpeed) {
    MessageWriter writer = Start(MsgEventFrame);
    writer.U32(groupId).U32(eventId).U32(0).F32(frameRate).F32(simSpeed);
    return Finish(writer);
}

Bytes MakeSimObjectDataMessage(uint32_t requestId, uint32_t objectId, uint32_t defineId,
                               uint32_t flags, uint32_t defineCount, const Bytes& values) {
    MessageWriter writer = Start(MsgSimObjectData);
    writer.U32(requestId).U32(objectId).U32(defineId).U32(flags);
    writer.U32(1).U32(1).U32(defineCount); // entry 1 of 1
    writer.Raw(values.data(), values.size());
    return Finish(writer);
}

Bytes MakeSystemStateMessage(uint32_t requestId, uint32_t integer, float value,
                             const std::string& text) {
    MessageWriter writer = Start(MsgSystemState);
    writer.U32(requestId).U32(integer).F32(value).FixedString(text, PathSize);
    return Finish(writer);
}

Bytes MakeResponseTimesMessage(uint64_t received, uint64_t answered) {
    MessageWriter writer = Start(MsgResponseTimes);
    writer.Zeros(16).U64(received).U64(answered);
    return Finish(writer);
}

const char* MessageName(uint32_t id) {
    switch (id) {
    case MsgException:
        return "EXCEPTION";
    case MsgOpen:
        return "OPEN";
    case MsgQuit:
        return "QUIT";
    case MsgEvent:
        return "EVENT";
    case MsgEventFilename:
        return "EVENT_FILENAME";
    case MsgEventFrame:
        return "EVENT_FRAME";
    case MsgSimObjectData:
        return "SIMOBJECT_DATA";
    case MsgSystemState:
        return "SYSTEM_STATE";
    case MsgResponseTimes:
        return "RESPONSE_TIMES";
    default:
        return "MESSAGE";
    }
}

} // namespace standin
