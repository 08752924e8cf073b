#include "sim_link/DataDefinition.h"

#include "support/Logger.h"

#include <cstring>
#include <stdexcept>

bool ReadMessageU32(const void* message, uint32_t messageSize, uint32_t offset, uint32_t& value) {
    if (!message || messageSize < offset || messageSize - offset < sizeof(uint32_t))
        return false;
    std::memcpy(&value, static_cast<const char*>(message) + offset, sizeof value);
    return true;
}

DataDefinition::DataDefinition(DataDefinitionPool* pool, uint32_t id) : pool(pool), id(id) {
    gLogger->Trace("Creating data definition %d", int(id));
}

DataDefinition::~DataDefinition() {
    Unsubscribe();
    Clear();
}

HANDLE DataDefinition::Handle() const {
    return pool ? pool->Handle() : nullptr;
}

int32_t DataDefinition::AddField(FieldSpec field) {
    int32_t index = static_cast<int32_t>(fields.size());
    fields.push_back(std::move(field));
    RegisterField(fields.back());
    return index;
}

bool DataDefinition::RegisterField(const FieldSpec& field) {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return true;
    HRESULT result = SimConnect_AddToDataDefinition(
        handle, id, field.name.c_str(), field.unit.c_str(),
        static_cast<SIMCONNECT_DATATYPE>(field.type), 0.0f, SIMCONNECT_UNUSED);
    if (FAILED(result)) {
        gLogger->Error("simconnect: AddToDataDefinition for \"%s\" (%s) for %d failed",
                       field.name.c_str(), field.unit.c_str(), int(id));
        return false;
    }
    TraceSent(handle, "simconnect: AddToDataDefinition for \"%s\" (%s) for %d -> txn: %d",
              field.name.c_str(), field.unit.c_str(), int(id));
    return true;
}

void DataDefinition::Reregister() {
    for (const FieldSpec& field : fields)
        RegisterField(field);
}

void DataDefinition::Clear() {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    gLogger->Trace("Clearing data definition %d", int(id));
    if (FAILED(SimConnect_ClearDataDefinition(handle, id))) {
        gLogger->Error("simconnect: ClearDataDefinition failed for %d", int(id));
        return;
    }
    TraceSent(handle, "simconnect: Cleared Data Definition for %d -> txn: %d", int(id));
}

void DataDefinition::Subscribe() {
    HANDLE handle = Handle();
    if (HasNoFields() || !IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_RequestDataOnSimObject(handle, id, id, SIMCONNECT_OBJECT_ID_USER,
                                                 SIMCONNECT_PERIOD_SIM_FRAME,
                                                 SIMCONNECT_DATA_REQUEST_FLAG_CHANGED, 0, 0, 0))) {
        gLogger->Error("simconnect: RequestDataOnSimObject failed on %d", int(id));
        return;
    }
    TraceSent(handle, "simconnect: RequestedDataOnSimObject per frame for %d -> txn: %d", int(id));
}

void DataDefinition::Unsubscribe() {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    gLogger->Trace("Clearing data Subscription %d", int(id));
    if (FAILED(SimConnect_RequestDataOnSimObject(handle, id, id, SIMCONNECT_OBJECT_ID_USER,
                                                 SIMCONNECT_PERIOD_NEVER, 0, 0, 0, 0))) {
        gLogger->Error("simconnect: RequestDataOnSimObject never for %d failed", int(id));
        return;
    }
    TraceSent(handle, "simconnect: RequestedDataOnSimObject never for %d -> txn: %d", int(id));
}

const FieldSpec& DataDefinition::Field(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= fields.size())
        throw std::out_of_range("index out of range");
    return fields[static_cast<size_t>(index)];
}

namespace {

template <typename T> T CopyOut(const char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

std::vector<SimValue> DataDefinition::Unmarshal(const SIMCONNECT_RECV_SIMOBJECT_DATA* message,
                                                uint32_t messageSize) const {
    uint32_t count = 0;
    if (!ReadMessageU32(message, messageSize, kSimObjectDataCountOffset, count)) {
        gLogger->Error("tried to walk off end of provided data during unmarshal");
        return {};
    }
    if (count != FieldCount()) {
        gLogger->Warning("Asked to decode simobject data with mismatched field count: %d != %d",
                         int(count), int(FieldCount()));
        return {};
    }
    const char* base = reinterpret_cast<const char*>(message);
    std::vector<SimValue> values;
    values.reserve(fields.size());
    uint64_t cursor = kSimObjectDataValuesOffset;
    for (const FieldSpec& field : fields) {
        int32_t size = SimConnectDataTypeSize(field.type);
        uint64_t end = cursor + (size > 0 ? uint64_t(size) : 0);
        if (end > messageSize) {
            gLogger->Error("tried to walk off end of provided data during unmarshal");
            return {};
        }
        const char* bytes = base + cursor;
        switch (field.type) {
        case SIMCONNECT_DATATYPE_INT32:
            values.emplace_back(CopyOut<int32_t>(bytes));
            break;
        case SIMCONNECT_DATATYPE_INT64:
            values.emplace_back(CopyOut<int64_t>(bytes));
            break;
        case SIMCONNECT_DATATYPE_FLOAT32:
            values.emplace_back(CopyOut<float>(bytes));
            break;
        case SIMCONNECT_DATATYPE_FLOAT64:
            values.emplace_back(CopyOut<double>(bytes));
            break;
        case SIMCONNECT_DATATYPE_STRING8:
        case SIMCONNECT_DATATYPE_STRING32:
        case SIMCONNECT_DATATYPE_STRING64:
        case SIMCONNECT_DATATYPE_STRING128:
        case SIMCONNECT_DATATYPE_STRING256:
        case SIMCONNECT_DATATYPE_STRING260:
            values.emplace_back(std::string(bytes, static_cast<size_t>(size)));
            break;
        case SIMCONNECT_DATATYPE_INITPOSITION:
            values.emplace_back(CopyOut<SIMCONNECT_DATA_INITPOSITION>(bytes));
            break;
        case SIMCONNECT_DATATYPE_MARKERSTATE:
            values.emplace_back(CopyOut<SIMCONNECT_DATA_MARKERSTATE>(bytes));
            break;
        case SIMCONNECT_DATATYPE_WAYPOINT:
            values.emplace_back(CopyOut<SIMCONNECT_DATA_WAYPOINT>(bytes));
            break;
        case SIMCONNECT_DATATYPE_LATLONALT:
            values.emplace_back(CopyOut<SIMCONNECT_DATA_LATLONALT>(bytes));
            break;
        case SIMCONNECT_DATATYPE_XYZ:
            values.emplace_back(CopyOut<SIMCONNECT_DATA_XYZ>(bytes));
            break;
        case SIMCONNECT_DATATYPE_STRINGV: {
            char* text = nullptr;
            DWORD length = 0;
            HRESULT result =
                SimConnect_RetrieveString(reinterpret_cast<SIMCONNECT_RECV*>(
                                              const_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(message)),
                                          messageSize, const_cast<char*>(bytes), &text, &length);
            if (FAILED(result) || !text) {
                gLogger->Error("failed to unmarshal variable length string %s at offset %d",
                               field.name.c_str(), int(cursor));
                return {};
            }
            values.emplace_back(std::string(text));
            size = static_cast<int32_t>(length);
            break;
        }
        default:
            gLogger->Error("couldn't unmarshal %s type %d -> unknown type?", field.name.c_str(),
                           int(field.type));
            return {};
        }
        cursor += static_cast<uint32_t>(size);
    }
    if (cursor < messageSize)
        gLogger->Debug("vPtr was at offset %d after traversing %d byte message?", int(cursor),
                       int(messageSize));
    return values;
}

std::shared_ptr<DataDefinition> DataDefinitionPool::Acquire() {
    for (size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].expired()) {
            auto definition = std::make_shared<DataDefinition>(this, static_cast<uint32_t>(i));
            slots[i] = definition;
            definition->Unsubscribe();
            definition->Clear();
            return definition;
        }
    }
    auto definition = std::make_shared<DataDefinition>(this, static_cast<uint32_t>(slots.size()));
    slots.push_back(definition);
    return definition;
}

void DataDefinitionPool::SetHandle(HANDLE newHandle) {
    if (newHandle == handle)
        return;
    handle = newHandle;
    for (const auto& slot : slots) {
        if (std::shared_ptr<DataDefinition> definition = slot.lock()) {
            definition->Clear();
            definition->Reregister();
        }
    }
}
