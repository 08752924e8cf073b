#pragma once

#include <cstdint>

// The retry record of one port. Times are steady-clock nanoseconds given by
// the caller, so that the owner decides by its own clock.
struct PortRetryState {
    int32_t status = 0; // 0 new, 1 a device came up at least once, 2 never again
    int32_t retriesLeft = 5;
    int32_t state = 0;
    int64_t lastOpenNs = 0;
    int64_t lastGoodNs = 0;
    int64_t lostNs = 0;

    static constexpr int64_t DefaultGraceNs = 60000000000LL;

    bool RetryAllowed() const;
    bool NoteOpenAttempt(int64_t nowNs);
    void MarkGood(int64_t nowNs);
    // A loss costs a retry unless the device identified itself and at least
    // the grace time passed since the port was opened.
    void NoteLost(int64_t nowNs, int64_t graceNs = DefaultGraceNs);
};
