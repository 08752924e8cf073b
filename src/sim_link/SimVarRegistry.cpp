#include "sim_link/SimVarRegistry.h"

#include "support/Logger.h"

#include <boost/container_hash/hash.hpp>

namespace {
constexpr uint32_t kMaxFieldsPerDefinition = 64;
}

size_t SimVarKeyHash::operator()(const SimVarKey& key) const {
    size_t seed = 0;
    boost::hash_combine(seed, key.name);
    boost::hash_combine(seed, key.unit);
    boost::hash_combine(seed, static_cast<int>(key.type));
    return seed;
}

std::shared_ptr<SimVarRegistration> SimVarRegistry::FindOrAddRegistration(const SimVarKey& key,
                                                                          bool create) {
    auto found = byKey.find(key);
    if (found != byKey.end()) {
        if (auto alive = found->second.lock())
            return alive;
    }
    if (!create)
        return nullptr;
    auto registration = std::make_shared<SimVarRegistration>();
    byKey[key] = registration;
    return registration;
}

std::shared_ptr<SimVarRegistration> SimVarRegistry::Register(const SimVarKey& key) {
    std::shared_ptr<SimVarRegistration> registration = FindOrAddRegistration(key, true);
    if (registration->definition)
        return registration;
    std::shared_ptr<DataDefinition> definition = OpenDefinition();
    int32_t index = definition->AddField(FieldSpec{key.name, key.unit, key.type});
    registration->definition = definition;
    registration->fieldIndex = index;
    FindOrAddDefinitionEntry(definition).registrations.push_back(registration);
    return registration;
}

std::shared_ptr<DataDefinition> SimVarRegistry::OpenDefinition() {
    if (auto open = openDefinition.lock()) {
        if (open->FieldCount() < kMaxFieldsPerDefinition)
            return open;
    }
    openDefinition.reset();
    std::shared_ptr<DataDefinition> definition = pool->Acquire();
    openDefinition = definition;
    return definition;
}

SimVarRegistry::DataDefinitionRegistration&
SimVarRegistry::FindOrAddDefinitionEntry(const std::shared_ptr<DataDefinition>& definition) {
    auto found = byDefineId.find(definition->Id());
    if (found != byDefineId.end()) {
        if (found->second.definition.lock() == definition)
            return found->second;
        byDefineId.erase(found);
    }
    DataDefinitionRegistration& entry = byDefineId[definition->Id()];
    entry.definition = definition;
    return entry;
}

void SimVarRegistry::ForEachDefinition(
    const std::function<void(DataDefinitionRegistration&, const std::shared_ptr<DataDefinition>&)>&
        function) {
    for (auto entry = byDefineId.begin(); entry != byDefineId.end();) {
        if (auto definition = entry->second.definition.lock()) {
            function(entry->second, definition);
            ++entry;
        } else {
            entry = byDefineId.erase(entry);
        }
    }
}

void SimVarRegistry::RequestPending() {
    openDefinition.reset();
    ForEachDefinition(
        [](DataDefinitionRegistration& entry, const std::shared_ptr<DataDefinition>& definition) {
            if (!entry.requested) {
                definition->Subscribe();
                entry.requested = true;
            }
        });
}

void SimVarRegistry::ClearRequested() {
    ForEachDefinition([](DataDefinitionRegistration& entry,
                         const std::shared_ptr<DataDefinition>&) { entry.requested = false; });
}

void SimVarRegistry::OnSimObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA* message,
                                     uint32_t messageSize) {
    uint32_t defineId = 0;
    if (!ReadMessageU32(message, messageSize, kSimObjectDataDefineIdOffset, defineId))
        return;
    auto found = byDefineId.find(defineId);
    if (found == byDefineId.end())
        return;
    std::shared_ptr<DataDefinition> definition = found->second.definition.lock();
    if (!definition) {
        gLogger->Debug("Got SIMBOJECT_DATA for expired definition %d - cleaning up internal table",
                       int(defineId));
        byDefineId.erase(found);
        return;
    }
    std::vector<SimValue> values = definition->Unmarshal(message, messageSize);
    if (values.empty())
        return;
    auto& registrations = found->second.registrations;
    bool anyAlive = false;
    for (size_t i = 0; i < values.size() && i < registrations.size(); ++i) {
        if (auto registration = registrations[i].lock()) {
            registration->value = values[i];
            anyAlive = true;
        }
    }
    if (!anyAlive) {
        gLogger->Debug("Got SIMBOJECT_DATA for definition %d with no valid registrations - purging",
                       int(defineId));
        definition->Unsubscribe();
        byDefineId.erase(found);
    }
}

bool SimVarRegistry::Erase(uint32_t defineId) {
    return byDefineId.erase(defineId) > 0;
}
