#pragma once

// Watched simulator variables, packed into data definitions of at most 64 fields.

#include "sim_link/DataDefinition.h"
#include "sim_link/SimValue.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

struct SimVarKey {
    std::string name;
    std::string unit;
    uint32_t type = SIMCONNECT_DATATYPE_FLOAT32;

    bool operator==(const SimVarKey& other) const {
        return name == other.name && unit == other.unit && type == other.type;
    }
};

struct SimVarKeyHash {
    size_t operator()(const SimVarKey& key) const;
};

namespace std {
template <> struct hash<SimVarKey> : SimVarKeyHash {};
} // namespace std

// One watched variable; holders read its value at any time.
struct SimVarRegistration {
    std::shared_ptr<DataDefinition> definition;
    int32_t fieldIndex = -1;
    SimValue value;
};

class SimVarRegistry {
public:
    struct DataDefinitionRegistration {
        std::weak_ptr<DataDefinition> definition;
        std::deque<std::weak_ptr<SimVarRegistration>> registrations;
        bool requested = false;
    };

    explicit SimVarRegistry(DataDefinitionPool* pool) : pool(pool) {}
    SimVarRegistry(const SimVarRegistry&) = delete;
    SimVarRegistry& operator=(const SimVarRegistry&) = delete;

    std::shared_ptr<SimVarRegistration> Register(const SimVarKey& key);
    // Subscribes every definition not yet requested on this connection.
    void RequestPending();
    // Forgets the requests, so that the next RequestPending subscribes everything again.
    void ClearRequested();
    void OnSimObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA* message, uint32_t messageSize);
    bool Erase(uint32_t defineId);

private:
    std::shared_ptr<DataDefinition> OpenDefinition();
    std::shared_ptr<SimVarRegistration> FindOrAddRegistration(const SimVarKey& key, bool create);
    DataDefinitionRegistration&
    FindOrAddDefinitionEntry(const std::shared_ptr<DataDefinition>& definition);
    void
    ForEachDefinition(const std::function<void(DataDefinitionRegistration&,
                                               const std::shared_ptr<DataDefinition>&)>& function);

    DataDefinitionPool* pool;
    std::unordered_map<SimVarKey, std::weak_ptr<SimVarRegistration>> byKey;
    std::unordered_map<uint32_t, DataDefinitionRegistration> byDefineId;
    std::weak_ptr<DataDefinition> openDefinition;
};
