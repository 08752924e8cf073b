#include "sim_link/SimEventHoldQueue.h"

#include "support/Logger.h"

#include <algorithm>

namespace {

bool Contains(const std::list<HeldEvent>& entries, const SimEvent* event, uint32_t data) {
    return std::any_of(entries.begin(), entries.end(), [&](const HeldEvent& entry) {
        return entry.event.get() == event && entry.data == data;
    });
}

size_t RemoveEvent(std::list<HeldEvent>& entries, const SimEvent* event) {
    size_t before = entries.size();
    entries.remove_if([&](const HeldEvent& entry) { return entry.event.get() == event; });
    return before - entries.size();
}

} // namespace

void SimEventHoldQueue::Hold(std::shared_ptr<SimEvent> event, uint32_t data) {
    if (!event)
        return;
    if (Contains(queued, event.get(), data)) {
        gLogger->Debug("Asked to hold event %d which was already queued for hold",
                       int(event->Id()));
        return;
    }
    if (Contains(held, event.get(), data)) {
        gLogger->Debug("Asked to hold event %d which was already held", int(event->Id()));
        return;
    }
    event->Transmit(data, false);
    queued.push_back(HeldEvent{std::move(event), data});
}

void SimEventHoldQueue::Release(std::shared_ptr<SimEvent> event) {
    if (!event)
        return;
    size_t removed = RemoveEvent(queued, event.get());
    removed += RemoveEvent(held, event.get());
    if (removed == 0)
        gLogger->Debug("Release of event %d did not release any events", int(event->Id()));
}

void SimEventHoldQueue::Tick() {
    for (const HeldEvent& entry : held)
        entry.event->Transmit(entry.data, true);
    held.splice(held.end(), queued);
}
