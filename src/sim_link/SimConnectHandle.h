#pragma once

// Small helpers every simulator-link object shares.

#include <windows.h>

#include <cstdint>

// A SimConnect handle can be used when it is neither null nor all ones.
bool IsValidSimConnectHandle(HANDLE handle);

// The send id of the last request packet on this connection, or 0 when it cannot be had.
uint32_t LastSentPacketId(HANDLE handle);

// The name of a SIMCONNECT_EXCEPTION value 0..37; null for any other value.
const char* SimConnectExceptionName(uint32_t exception);
