#include "device_io/PortRetryState.h"

bool PortRetryState::RetryAllowed() const {
    return retriesLeft >= 1 && state >= 0 && state <= 5 && ((0x35 >> state) & 1) != 0;
}

bool PortRetryState::NoteOpenAttempt(int64_t nowNs) {
    if (status == 2 || !RetryAllowed())
        return false;
    lastOpenNs = nowNs;
    return true;
}

void PortRetryState::MarkGood(int64_t nowNs) {
    lastGoodNs = nowNs;
    retriesLeft = 5;
    status = 1;
}

void PortRetryState::NoteLost(int64_t nowNs, int64_t graceNs) {
    if (lastGoodNs >= lastOpenNs && nowNs - lastOpenNs >= graceNs)
        return;
    --retriesLeft;
}
