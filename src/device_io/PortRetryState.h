#pragma once

#include <cstdint>

#include "device_io/WatchState.h"

// What a port's record says of opening it again.
enum class PortStatus : int32_t {
    New = 0,
    CameUp = 1,     // a device came up on the port at least once
    NeverAgain = 2, // never open this port again
};

// The retry record of one port. Times are steady-clock nanoseconds given by
// the caller, so that the owner decides by its own clock.
struct PortRetryState {
    PortStatus status = PortStatus::New;
    int32_t retriesLeft = 5;
    // The number of the watch's state (WatchState), copied in when an error is
    // reconciled.
    int32_t state = 0;
    int64_t lastOpenNs = 0;
    int64_t lastGoodNs = 0;
    int64_t lostNs = 0;

    static constexpr int64_t DefaultGraceNs = 60000000000LL;

    // A retry is left, and the port stopped in a state worth retrying: open,
    // open failed with a system error, identity lost, or failed.
    bool RetryAllowed() const;
    bool NoteOpenAttempt(int64_t nowNs);
    void MarkGood(int64_t nowNs);
    // A loss costs a retry unless the device identified itself and at least
    // the grace time passed since the port was opened.
    void NoteLost(int64_t nowNs, int64_t graceNs = DefaultGraceNs);
};
