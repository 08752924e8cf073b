#pragma once

// Small helpers every simulator-link object shares.

#include <windows.h>

#include <cstdint>

#include "support/Logger.h"

// A SimConnect handle can be used when it is neither null nor all ones.
bool IsValidSimConnectHandle(HANDLE handle);

// The send id of the last request packet on this connection, or 0 when it cannot be had.
uint32_t LastSentPacketId(HANDLE handle);

// A Trace line after a request: the format's last conversion takes the send id
// of that request, which is fetched only when some target writes Trace.
template <typename... Args> void TraceSent(HANDLE handle, const char* format, Args... args) {
    if (LogAccepts(BKFLog::LevelTrace))
        LogTrace(format, args..., int(LastSentPacketId(handle)));
}

// The name of a SIMCONNECT_EXCEPTION value 0..37; null for any other value.
const char* SimConnectExceptionName(uint32_t exception);
