#include "sim_link/ClientEvent.h"

#include "simconnect/SimConnect.h"
#include "support/Logger.h"

ClientEvent::ClientEvent(ClientEventRegistry* registry, uint32_t id) : registry(registry), id(id) {}

HANDLE ClientEvent::Handle() const {
    return registry ? registry->Handle() : nullptr;
}

bool ClientEvent::Transmit(uint32_t data, bool repeat) {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return false;
    DWORD flags = SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY +
                  (repeat ? SIMCONNECT_EVENT_FLAG_FAST_REPEAT_TIMER : 0);
    HRESULT result = SimConnect_TransmitClientEvent(handle, SIMCONNECT_OBJECT_ID_USER, id, data,
                                                    SIMCONNECT_GROUP_PRIORITY_HIGHEST, flags);
    if (FAILED(result)) {
        gLogger->Error("simconnect: TransmitClientEvent failed for ClEvent %d (data: %d)", int(id),
                       int(data));
        return false;
    }
    TraceSent(handle,
              "simconnect: TransmitClientEvent for ClEvent %d (data: %d, flags: %x) -> Txn: %d",
              int(id), int(data), unsigned(flags));
    return true;
}

SimEvent::SimEvent(ClientEventRegistry* registry, uint32_t id, std::string name)
    : ClientEvent(registry, id), name(std::move(name)) {}

void SimEvent::Register() {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_MapClientEventToSimEvent(handle, id, name.c_str()))) {
        gLogger->Trace("simconnect: Failed whilst Mapping \"%s\" -> CEv: %d", name.c_str(),
                       int(id));
        return;
    }
    TraceSent(handle, "simconnect: Mapping \"%s\" -> CEv: %d: Transaction: %d", name.c_str(),
              int(id));
}

SystemEvent::SystemEvent(ClientEventRegistry* registry, uint32_t id, const std::string& name)
    : ClientEvent(registry, id), name(name) {}

SystemEvent::~SystemEvent() {
    Unregister();
}

void SystemEvent::Register() {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_SubscribeToSystemEvent(handle, id, name.c_str()))) {
        gLogger->Trace("simconnect: Failed whilst Subscribing \"%s\" -> CEv: %d", name.c_str(),
                       int(id));
        return;
    }
    TraceSent(handle, "simconnect: Subscribing SysEvent \"%s\" -> CEv: %d: Transaction: %d",
              name.c_str(), int(id));
}

void SystemEvent::Unregister() {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_UnsubscribeFromSystemEvent(handle, id))) {
        gLogger->Trace("simconnect: Failed whilst Unsubscribing \"%s\" -> CEv: %d", name.c_str(),
                       int(id));
        return;
    }
    TraceSent(handle, "simconnect: Unsubscribing SysEvent \"%s\" -> CEv: %d: Transaction: %d",
              name.c_str(), int(id));
}

void SystemEvent::RequestState(uint32_t requestId) {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_RequestSystemState(handle, requestId, name.c_str()))) {
        gLogger->Error("simconnect: RequestSystemState '%s' failed", name.c_str());
        return;
    }
    TraceSent(handle, "simconnect: Sent request for '%s' state -> CEv: %d: Txn: %d", name.c_str(),
              int(requestId));
}

template <typename Event>
std::shared_ptr<Event>
ClientEventRegistry::GetNamed(std::unordered_map<std::string, uint32_t>& names,
                              const std::string& name) {
    auto known = names.find(name);
    uint32_t id;
    if (known != names.end()) {
        id = known->second;
        auto entry = events.find(id);
        if (entry != events.end()) {
            if (std::shared_ptr<ClientEvent> alive = entry->second.lock())
                return std::dynamic_pointer_cast<Event>(alive);
        }
    } else {
        id = nextId.fetch_add(1);
        names.emplace(name, id);
    }
    auto event = std::make_shared<Event>(this, id, std::string(name));
    events[id] = event;
    event->Register();
    return event;
}

std::shared_ptr<SimEvent> ClientEventRegistry::GetSimEvent(const std::string& name) {
    return GetNamed<SimEvent>(simEventIds, name);
}

std::shared_ptr<SystemEvent> ClientEventRegistry::GetSystemEvent(const std::string& name) {
    return GetNamed<SystemEvent>(systemEventIds, name);
}

std::shared_ptr<ClientEvent> ClientEventRegistry::CreateClientEvent() {
    uint32_t id = nextId.fetch_add(1);
    auto event = std::make_shared<ClientEvent>(this, id);
    events[id] = event;
    return event;
}

void ClientEventRegistry::SetHandle(HANDLE newHandle) {
    if (newHandle == handle)
        return;
    handle = newHandle;
    ReregisterAll();
}

void ClientEventRegistry::ReregisterAll() {
    if (!IsValidSimConnectHandle(handle))
        return;
    for (auto entry = events.begin(); entry != events.end();) {
        if (std::shared_ptr<ClientEvent> alive = entry->second.lock()) {
            alive->Register();
            ++entry;
        } else {
            entry = events.erase(entry);
        }
    }
}
