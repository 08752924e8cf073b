#pragma once

// Client event ids and the simulator events and system events bound to them.

#include "sim_link/SimConnectHandle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class ClientEventRegistry;

// One client event id. Made only through std::make_shared; the registry keeps a
// weak reference and reads its handle at every call.
class ClientEvent {
public:
    ClientEvent(ClientEventRegistry* registry, uint32_t id);
    virtual ~ClientEvent() = default;
    ClientEvent(const ClientEvent&) = delete;
    ClientEvent& operator=(const ClientEvent&) = delete;

    // Makes the event known to the simulator; nothing for an anonymous event.
    virtual void Register() {}
    // Withdraws it; nothing for an anonymous event.
    virtual void Unregister() {}

    uint32_t Id() const { return id; }
    // Sends the event to the user's aircraft at the highest priority; false when
    // nothing could be sent.
    bool Transmit(uint32_t data, bool repeat);

protected:
    HANDLE Handle() const;

    ClientEventRegistry* registry;
    uint32_t id;
};

// A client event mapped to a named simulator event.
class SimEvent : public ClientEvent {
public:
    SimEvent(ClientEventRegistry* registry, uint32_t id, std::string name);

    void Register() override;
    // A mapping is never withdrawn.
    void Unregister() override {}

    const std::string& Name() const { return name; }

private:
    std::string name;
};

// A subscription to a named simulator system event; dropping the last holder
// unsubscribes it.
class SystemEvent : public ClientEvent {
public:
    SystemEvent(ClientEventRegistry* registry, uint32_t id, const std::string& name);
    ~SystemEvent() override;

    void Register() override;
    void Unregister() override;

    // Asks the simulator for the state of the same name under the request id.
    void RequestState(uint32_t requestId);

    const std::string& Name() const { return name; }

private:
    std::string name;
};

// Hands out client event ids from 2 upwards; a name keeps its id for the whole run.
class ClientEventRegistry {
public:
    ClientEventRegistry() = default;
    ClientEventRegistry(const ClientEventRegistry&) = delete;
    ClientEventRegistry& operator=(const ClientEventRegistry&) = delete;

    std::shared_ptr<SimEvent> GetSimEvent(const std::string& name);
    std::shared_ptr<SystemEvent> GetSystemEvent(const std::string& name);
    // An event without a name; nothing is registered with the simulator.
    std::shared_ptr<ClientEvent> CreateClientEvent();

    // A new handle registers every live event again.
    void SetHandle(HANDLE newHandle);
    HANDLE Handle() const { return handle; }

    void ReregisterAll();

private:
    template <typename Event>
    std::shared_ptr<Event> GetNamed(std::unordered_map<std::string, uint32_t>& names,
                                    const std::string& name);

    HANDLE handle = nullptr;
    std::atomic<uint32_t> nextId{2};
    std::unordered_map<std::string, uint32_t> simEventIds;
    std::unordered_map<std::string, uint32_t> systemEventIds;
    std::unordered_map<uint32_t, std::weak_ptr<ClientEvent>> events;
};
