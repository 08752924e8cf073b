#pragma once

// Simulator events held down by device buttons, repeated on every "6Hz" tick.

#include "sim_link/ClientEvent.h"

#include <cstdint>
#include <list>
#include <memory>

struct HeldEvent {
    std::shared_ptr<SimEvent> event;
    uint32_t data;
};

class SimEventHoldQueue {
public:
    // Transmits the event once now; it is repeated from the tick after the next.
    void Hold(std::shared_ptr<SimEvent> event, uint32_t data);
    // Stops every repetition of the event, whatever its data; sends nothing.
    void Release(std::shared_ptr<SimEvent> event);
    // Repeats every held event, then moves the newly held ones to the held list.
    void Tick();

    const std::list<HeldEvent>& Held() const { return held; }
    const std::list<HeldEvent>& Queued() const { return queued; }

private:
    std::list<HeldEvent> held;
    std::list<HeldEvent> queued;
};
