#include "RequestDecoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin {

namespace {

struct FieldLayout {
    const char* name;
    FieldKind kind;
    uint32_t size; // characters of a string, count of words
};

struct RequestLayout {
    uint32_t number;
    const char* function;
    uint32_t size; // whole packet; 0 = variable (minimum in minSize)
    uint32_t minSize;
    std::vector<FieldLayout> fields; // empty: recorded as bytes only
};

constexpr FieldKind U = FieldKind::U32;
constexpr FieldKind F = FieldKind::F32;
constexpr FieldKind S = FieldKind::String;

const std::vector<RequestLayout>& Layouts() {
    static const std::vector<RequestLayout> layouts = {
        {0x01, "Open", 296, 0, {{"szName", S, 256}, {"Words", FieldKind::Words, 6}}},
        {0x03, "RequestResponseTimes", 20, 0, {{"nCount", U, 0}}},
        {0x04, "MapClientEventToSimEvent", 276, 0, {{"EventID", U, 0}, {"EventName", S, 256}}},
        {0x05,
         "TransmitClientEvent",
         36,
         0,
         {{"ObjectID", U, 0},
          {"EventID", U, 0},
          {"dwData", U, 0},
          {"GroupID", U, 0},
          {"Flags", U, 0}}},
        {0x07,
         "AddClientEventToNotificationGroup",
         28,
         0,
         {{"GroupID", U, 0}, {"EventID", U, 0}, {"bMaskable", U, 0}}},
        {0x09, "SetNotificationGroupPriority", 24, 0, {{"GroupID", U, 0}, {"uPriority", U, 0}}},
        {0x0A, "ClearNotificationGroup", 20, 0, {{"GroupID", U, 0}}},
        {0x0C,
         "AddToDataDefinition",
         544,
         0,
         {{"DefineID", U, 0},
          {"DatumName", S, 256},
          {"UnitsName", S, 256},
          {"DatumType", U, 0},
          {"fEpsilon", F, 0},
          {"DatumID", U, 0}}},
        {0x0D, "ClearDataDefinition", 20, 0, {{"DefineID", U, 0}}},
        {0x0E,
         "RequestDataOnSimObject",
         48,
         0,
         {{"RequestID", U, 0},
          {"DefineID", U, 0},
          {"ObjectID", U, 0},
          {"Period", U, 0},
          {"Flags", U, 0},
          {"origin", U, 0},
          {"interval", U, 0},
          {"limit", U, 0}}},
        {0x17, "SubscribeToSystemEvent", 276, 0, {{"EventID", U, 0}, {"SystemEventName", S, 256}}},
        {0x18, "UnsubscribeFromSystemEvent", 20, 0, {{"EventID", U, 0}}},
        {0x35, "RequestSystemState", 276, 0, {{"RequestID", U, 0}, {"szState", S, 256}}},
        {0x37,
         "MapClientDataNameToID",
         276,
         0,
         {{"szClientDataName", S, 256}, {"ClientDataID", U, 0}}},
        {0x39,
         "AddToClientDataDefinition",
         36,
         0,
         {{"DefineID", U, 0},
          {"dwOffset", U, 0},
          {"dwSizeOrType", U, 0},
          {"fEpsilon", F, 0},
          {"DatumID", U, 0}}},
        {0x3C,
         "SetClientData",
         0,
         36,
         {{"ClientDataID", U, 0},
          {"DefineID", U, 0},
          {"Flags", U, 0},
          {"dwReserved", U, 0},
          {"cbUnitSize", U, 0},
          {"pDataSet", FieldKind::Data, 0}}},
        // Recorded only.
        {0x28, "AICreateEnrouteATCAircraft", 564, 0, {}},
        {0x29, "AICreateNonATCAircraft", 344, 0, {}},
        {0x27, "AICreateParkedATCAircraft", 293, 0, {}},
        {0x2A, "AICreateSimulatedObject", 332, 0, {}},
        {0x2B, "AIReleaseControl", 24, 0, {}},
        {0x2C, "AIRemoveObject", 24, 0, {}},
        {0x2D, "AISetAircraftFlightPlan", 284, 0, {}},
        {0x30, "CameraSetRelative6DOF", 40, 0, {}},
        {0x3A, "ClearClientDataDefinition", 20, 0, {}},
        {0x14, "ClearInputGroup", 20, 0, {}},
        {0x2F, "CompleteCustomMissionAction", 32, 0, {}},
        {0x38, "CreateClientData", 28, 0, {}},
        {0x2E, "ExecuteMissionAction", 32, 0, {}},
        {0x3D, "FlightLoad", 276, 0, {}},
        {0x3F, "FlightPlanLoad", 276, 0, {}},
        {0x3E, "FlightSave", 2588, 0, {}},
        {0x11, "MapInputEventToClientEvent", 296, 0, {}},
        {0x31, "MenuAddItem", 280, 0, {}},
        {0x33, "MenuAddSubItem", 284, 0, {}},
        {0x32, "MenuDeleteItem", 20, 0, {}},
        {0x34, "MenuDeleteSubItem", 24, 0, {}},
        {0x08, "RemoveClientEvent", 24, 0, {}},
        {0x13, "RemoveInputEvent", 276, 0, {}},
        {0x3B, "RequestClientData", 48, 0, {}},
        {0x0F, "RequestDataOnSimObjectType", 32, 0, {}},
        {0x43, "RequestFacilitiesList", 24, 0, {}},
        {0x0B, "RequestNotificationGroup", 28, 0, {}},
        {0x16, "RequestReservedKey", 110, 0, {}},
        {0x10, "SetDataOnSimObject", 0, 36, {}},
        {0x12, "SetInputGroupPriority", 24, 0, {}},
        {0x15, "SetInputGroupState", 24, 0, {}},
        {0x06, "SetSystemEventState", 24, 0, {}},
        {0x36, "SetSystemState", 540, 0, {}},
        {0x41, "SubscribeToFacilities", 24, 0, {}},
        {0x42, "UnsubscribeToFacilities", 20, 0, {}},
        {0x40, "Text", 0, 32, {}},
        {0x1C, "WeatherCreateStation", 293, 0, {}},
        {0x25, "WeatherCreateThermal", 72, 0, {}},
        {0x1D, "WeatherRemoveStation", 25, 0, {}},
        {0x26, "WeatherRemoveThermal", 20, 0, {}},
        {0x24, "WeatherRequestCloudState", 48, 0, {}},
        {0x19, "WeatherRequestInterpolatedObservation", 32, 0, {}},
        {0x1B, "WeatherRequestObservationAtNearestStation", 28, 0, {}},
        {0x1A, "WeatherRequestObservationAtStation", 25, 0, {}},
        {0x23, "WeatherSetDynamicUpdateRate", 20, 0, {}},
        {0x22, "WeatherSetModeCustom", 16, 0, {}},
        {0x21, "WeatherSetModeGlobal", 16, 0, {}},
        {0x1F, "WeatherSetModeServer", 24, 0, {}},
        {0x20, "WeatherSetModeTheme", 272, 0, {}},
        {0x1E, "WeatherSetObservation", 0, 21, {}},
    };
    return layouts;
}

const RequestLayout* FindLayout(uint32_t number) {
    for (const auto& layout : Layouts())
        if (layout.number == number)
            return &layout;
    return nullptr;
}

// Size a variable-length request must have, from its own count fields.
uint32_t VariableSize(const RequestLayout& layout, const Bytes& packet) {
    const uint8_t* p = packet.data();
    switch (layout.number) {
    case 0x3C: // SetClientData: 36 + cbUnitSize
        return 36 + ReadU32(p + 32);
    case 0x10: { // SetDataOnSimObject: 36 + max(ArrayCount, 1) * cbUnitSize
        uint32_t count = ReadU32(p + 28);
        return 36 + (count ? count : 1) * ReadU32(p + 32);
    }
    case 0x40: // Text: 32 + cbUnitSize
        return 32 + ReadU32(p + 28);
    default: // WeatherSetObservation: 21 + length of the text
    {
        size_t length = 0;
        while (20 + length < packet.size() && p[20 + length] != 0)
            ++length;
        return uint32_t(21 + length);
    }
    }
}

std::string FormatFloat(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

std::string TrimmedHex(const Bytes& data) {
    size_t length = data.size();
    while (length > 0 && data[length - 1] == 0)
        --length;
    return ToHex(data.data(), length);
}

} // namespace

std::string Request::Describe() const {
    std::string text;
    for (const auto& field : fields) {
        if (!text.empty())
            text += ' ';
        text += field.name;
        text += '=';
        switch (field.kind) {
        case FieldKind::U32:
            text += std::to_string(field.u32);
            break;
        case FieldKind::F32:
            text += FormatFloat(field.f32);
            break;
        case FieldKind::String:
            text += Quote(field.text);
            if (!field.terminated)
                text += "(unterminated)";
            break;
        case FieldKind::Words:
            for (size_t i = 0; i < field.words.size(); ++i) {
                if (i)
                    text += ',';
                text += std::to_string(field.words[i]);
            }
            break;
        case FieldKind::Data:
            text += TrimmedHex(field.data);
            break;
        }
    }
    if (!decoded && !rest.empty()) {
        if (!text.empty())
            text += ' ';
        text += "Bytes=" + ToHex(rest.data(), rest.size());
    }
    return text;
}

Request DecodeRequest(const Bytes& packet) {
    Request request;
    if (packet.size() < RequestHeaderSize)
        return request;
    const uint8_t* p = packet.data();
    request.size = ReadU32(p);
    request.version = ReadU32(p + 4);
    uint32_t id = ReadU32(p + 8);
    request.number = id & ~RequestIdBase;
    request.sendId = ReadU32(p + 12);
    const RequestLayout* layout =
        (id & RequestIdBase) == RequestIdBase ? FindLayout(request.number) : nullptr;
    if (!layout) {
        char name[32];
        std::snprintf(name, sizeof name, "Unknown0x%X", id);
        request.function = name;
        request.rest.assign(packet.begin() + RequestHeaderSize, packet.end());
        return request;
    }
    request.known = true;
    request.function = layout->function;
    if (layout->size)
        request.sizeOk = packet.size() == layout->size;
    else
        request.sizeOk =
            packet.size() >= layout->minSize && packet.size() == VariableSize(*layout, packet);
    if (!request.sizeOk || layout->fields.empty()) {
        request.rest.assign(packet.begin() + RequestHeaderSize, packet.end());
        return request;
    }
    size_t offset = RequestHeaderSize;
    for (const auto& fieldLayout : layout->fields) {
        FieldValue value;
        value.kind = fieldLayout.kind;
        value.name = fieldLayout.name;
        switch (fieldLayout.kind) {
        case FieldKind::U32:
            value.u32 = ReadU32(p + offset);
            offset += 4;
            break;
        case FieldKind::F32:
            value.f32 = ReadF32(p + offset);
            offset += 4;
            break;
        case FieldKind::String: {
            const char* text = reinterpret_cast<const char*>(p + offset);
            size_t length = strnlen(text, fieldLayout.size);
            value.text.assign(text, length);
            value.terminated = length < fieldLayout.size;
            offset += fieldLayout.size;
            break;
        }
        case FieldKind::Words:
            for (uint32_t i = 0; i < fieldLayout.size; ++i, offset += 4)
                value.words.push_back(ReadU32(p + offset));
            break;
        case FieldKind::Data:
            value.data.assign(packet.begin() + offset, packet.end());
            offset = packet.size();
            break;
        }
        request.fields.push_back(std::move(value));
    }
    request.decoded = true;
    return request;
}

uint32_t RequestNumberOf(const std::string& name) {
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X'))
        return uint32_t(std::strtoul(name.c_str() + 2, nullptr, 16));
    for (const auto& layout : Layouts())
        if (name == layout.function)
            return layout.number;
    return 0;
}

} // namespace standin
