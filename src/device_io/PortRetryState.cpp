#include "device_io/PortRetryState.h"

namespace {

constexpr uint32_t Bit(WatchState state) {
    return 1u << static_cast<int32_t>(state);
}

// The states after which a port is opened again.
constexpr uint32_t RetryableStates = Bit(WatchState::Open) | Bit(WatchState::SystemOpenFailed) |
                                     Bit(WatchState::IdentityLost) | Bit(WatchState::Failed);
static_assert(RetryableStates == 0x35, "states 0, 2, 4 and 5");

} // namespace

bool PortRetryState::RetryAllowed() const {
    return retriesLeft >= 1 && state >= 0 && state <= 5 && ((RetryableStates >> state) & 1) != 0;
}

bool PortRetryState::NoteOpenAttempt(int64_t nowNs) {
    if (status == PortStatus::NeverAgain || !RetryAllowed())
        return false;
    lastOpenNs = nowNs;
    return true;
}

void PortRetryState::MarkGood(int64_t nowNs) {
    lastGoodNs = nowNs;
    retriesLeft = 5;
    status = PortStatus::CameUp;
}

void PortRetryState::NoteLost(int64_t nowNs, int64_t graceNs) {
    if (lastGoodNs >= lastOpenNs && nowNs - lastOpenNs >= graceNs)
        return;
    --retriesLeft;
}
