#pragma once

// Notification groups: the simulator delivers a client event to the program only
// when the event belongs to one of the program's groups.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class ClientEvent;
class NotificationGroupRegistry;

class NotificationGroup {
public:
    static constexpr uint32_t DefaultPriority = 2000000000; // SIMCONNECT_GROUP_PRIORITY_DEFAULT

    NotificationGroup(NotificationGroupRegistry* registry, uint32_t id);
    ~NotificationGroup();
    NotificationGroup(const NotificationGroup&) = delete;
    NotificationGroup& operator=(const NotificationGroup&) = delete;

    uint32_t Id() const { return id; }
    // Adds the event once (by id) and asks for its notifications.
    void AddEvent(std::shared_ptr<ClientEvent> event);
    void SetPriority(uint32_t value);
    // Sends every event again, in order, then the priority.
    void Reregister();
    void Clear();

private:
    void RequestNotifications(const ClientEvent& event);
    void ApplyPriority();
    HANDLE Handle() const;

    NotificationGroupRegistry* registry;
    uint32_t id;
    std::vector<std::shared_ptr<ClientEvent>> events;
    uint32_t priority = DefaultPriority;
};

// Hands out group ids (slot indexes, reused once a group is let go) and
// re-registers every live group when the connection changes.
class NotificationGroupRegistry {
public:
    NotificationGroupRegistry() = default;
    NotificationGroupRegistry(const NotificationGroupRegistry&) = delete;
    NotificationGroupRegistry& operator=(const NotificationGroupRegistry&) = delete;

    std::shared_ptr<NotificationGroup> CreateGroup();
    void SetHandle(HANDLE newHandle);
    HANDLE Handle() const { return handle; }

private:
    void ReregisterAll();

    HANDLE handle = nullptr;
    std::deque<std::weak_ptr<NotificationGroup>> slots;
};
