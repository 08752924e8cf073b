#include "sim_link/NotificationGroup.h"

#include "sim_link/ClientEvent.h"
#include "simconnect/SimConnect.h"
#include "support/Logger.h"

#include <algorithm>

NotificationGroup::NotificationGroup(NotificationGroupRegistry* registry, uint32_t id)
    : registry(registry), id(id) {
    gLogger->Trace("Creating notification group %d", id);
}

NotificationGroup::~NotificationGroup() {
    Clear();
}

HANDLE NotificationGroup::Handle() const {
    return registry->Handle();
}

void NotificationGroup::AddEvent(std::shared_ptr<ClientEvent> event) {
    uint32_t eventId = event->Id();
    bool known = std::any_of(events.begin(), events.end(),
                             [eventId](const auto& held) { return held->Id() == eventId; });
    if (known) {
        gLogger->Debug(
            "simconnect: Requesting notifications for event %d in group %d, already subscribed",
            eventId, id);
        return;
    }
    events.push_back(event);
    RequestNotifications(*event);
}

void NotificationGroup::SetPriority(uint32_t value) {
    if (value == priority)
        return;
    priority = value;
    ApplyPriority();
}

void NotificationGroup::Reregister() {
    for (const auto& event : events)
        RequestNotifications(*event);
    ApplyPriority();
}

void NotificationGroup::RequestNotifications(const ClientEvent& event) {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_AddClientEventToNotificationGroup(handle, id, event.Id(), FALSE))) {
        gLogger->Error("simconnect: AddClientEventToNotificationGroup failed");
        return;
    }
    TraceSent(handle, "simconnect: Requested notifications for event %d in group %d: Txn->%d",
              event.Id(), id);
}

void NotificationGroup::ApplyPriority() {
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_SetNotificationGroupPriority(handle, id, priority))) {
        gLogger->Error("simconnect: SetNotificationGroupPriority failed");
        return;
    }
    TraceSent(handle, "Setting notification group %d priority to %d: Txn %d", id, priority);
}

void NotificationGroup::Clear() {
    gLogger->Trace("Clearing notification group %d", id);
    HANDLE handle = Handle();
    if (!IsValidSimConnectHandle(handle))
        return;
    if (FAILED(SimConnect_ClearNotificationGroup(handle, id))) {
        gLogger->Error("simconnect: ClearNotificationGroup failed for group %d", id);
        return;
    }
    TraceSent(handle, "simconnect: Unsubscribed from Notification Group %d -> Transaction: %d", id);
}

std::shared_ptr<NotificationGroup> NotificationGroupRegistry::CreateGroup() {
    size_t slot = 0;
    while (slot < slots.size() && !slots[slot].expired())
        ++slot;
    auto group = std::make_shared<NotificationGroup>(this, static_cast<uint32_t>(slot));
    if (slot < slots.size())
        slots[slot] = group;
    else
        slots.push_back(group);
    // Withdraw whatever an earlier group left under this id.
    group->Clear();
    return group;
}

void NotificationGroupRegistry::SetHandle(HANDLE newHandle) {
    if (newHandle == handle)
        return;
    handle = newHandle;
    ReregisterAll();
}

void NotificationGroupRegistry::ReregisterAll() {
    if (!IsValidSimConnectHandle(handle))
        return;
    for (const auto& slot : slots) {
        if (auto group = slot.lock())
            group->Reregister();
    }
}
