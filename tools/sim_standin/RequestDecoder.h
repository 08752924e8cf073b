#pragma once

#include "WireFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// Request numbers the server acts on.
enum RequestNumber : uint32_t {
    ReqOpen = 0x01,
    ReqRequestResponseTimes = 0x03,
    ReqMapClientEventToSimEvent = 0x04,
    ReqTransmitClientEvent = 0x05,
    ReqAddClientEventToNotificationGroup = 0x07,
    ReqSetNotificationGroupPriority = 0x09,
    ReqClearNotificationGroup = 0x0A,
    ReqAddToDataDefinition = 0x0C,
    ReqClearDataDefinition = 0x0D,
    ReqRequestDataOnSimObject = 0x0E,
    ReqSubscribeToSystemEvent = 0x17,
    ReqUnsubscribeFromSystemEvent = 0x18,
    ReqRequestSystemState = 0x35,
    ReqMapClientDataNameToID = 0x37,
    ReqAddToClientDataDefinition = 0x39,
    ReqSetClientData = 0x3C,
};

constexpr uint32_t RequestHeaderSize = 16;
constexpr uint32_t RequestVersion = 5;
constexpr uint32_t RequestIdBase = 0xF0000000;

enum class FieldKind { U32, F32, String, Words, Data };

struct FieldValue {
    FieldKind kind = FieldKind::U32;
    std::string name;
    uint32_t u32 = 0;
    float f32 = 0;
    std::string text;
    bool terminated = true; // a string field held its NUL
    std::vector<uint32_t> words;
    Bytes data;
};

// One request packet, decoded.
struct Request {
    uint32_t size = 0;
    uint32_t version = 0;
    uint32_t number = 0; // request id without 0xF0000000
    uint32_t sendId = 0;
    std::string function; // API name without its prefix
    bool known = false;   // the number is a request of the family
    bool sizeOk = false;  // the size matches the number's layout
    bool decoded = false; // fields were decoded (the functions the server acts on)
    std::vector<FieldValue> fields;
    Bytes rest; // bytes after the header, for the functions only recorded

    const FieldValue& Field(size_t index) const { return fields.at(index); }
    uint32_t U32(size_t index) const { return fields.at(index).u32; }
    const std::string& Text(size_t index) const { return fields.at(index).text; }
    // "Name=value ..." for the record.
    std::string Describe() const;
};

// Decodes one whole packet (the size field of its first four bytes equals packet.size()).
Request DecodeRequest(const Bytes& packet);

// Request number of an API function name ("SetClientData" or "0x3C"); 0 when unknown.
uint32_t RequestNumberOf(const std::string& name);

} // namespace standin
