#pragma once

// SimConnect data definitions: numbered lists of simulator variables whose values
// arrive field after field in simulator-object data messages.

#include "sim_link/SimConnectHandle.h"
#include "sim_link/SimValue.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct FieldSpec {
    std::string name;
    std::string unit;
    uint32_t type = SIMCONNECT_DATATYPE_FLOAT64;
};

class DataDefinitionPool;

// Made only by the pool; its id is also the request id of its data request.
class DataDefinition {
public:
    DataDefinition(DataDefinitionPool* pool, uint32_t id);
    ~DataDefinition();
    DataDefinition(const DataDefinition&) = delete;
    DataDefinition& operator=(const DataDefinition&) = delete;

    // Appends the field and registers it with the simulator; returns its index.
    int32_t AddField(FieldSpec field);
    bool RegisterField(const FieldSpec& field);
    void Reregister();
    void Clear();
    // Data every simulation frame, changed values only.
    void Subscribe();
    void Unsubscribe();

    uint32_t Id() const { return id; }
    uint32_t FieldCount() const { return static_cast<uint32_t>(fields.size()); }
    bool HasNoFields() const { return fields.empty(); }
    const FieldSpec& Field(int32_t index) const;

    // One value per field; empty when the message does not decode.
    std::vector<SimValue> Unmarshal(const SIMCONNECT_RECV_SIMOBJECT_DATA* message,
                                    uint32_t messageSize) const;

private:
    HANDLE Handle() const;

    DataDefinitionPool* pool;
    uint32_t id;
    std::deque<FieldSpec> fields;
};

// Hands out define ids from 0 and reuses those of definitions nobody holds.
class DataDefinitionPool {
public:
    DataDefinitionPool() = default;
    DataDefinitionPool(const DataDefinitionPool&) = delete;
    DataDefinitionPool& operator=(const DataDefinitionPool&) = delete;

    std::shared_ptr<DataDefinition> Acquire();
    // A new handle clears and registers again every live definition's fields.
    void SetHandle(HANDLE newHandle);
    HANDLE Handle() const { return handle; }

private:
    HANDLE handle = nullptr;
    std::deque<std::weak_ptr<DataDefinition>> slots;
};

// Byte offsets inside SIMCONNECT_RECV_SIMOBJECT_DATA.
constexpr uint32_t kSimObjectDataDefineIdOffset = 20;
constexpr uint32_t kSimObjectDataCountOffset = 36;
constexpr uint32_t kSimObjectDataValuesOffset = 40;

// Reads a u32 at the offset of a received message; false when the message is too short.
bool ReadMessageU32(const void* message, uint32_t messageSize, uint32_t offset, uint32_t& value);
