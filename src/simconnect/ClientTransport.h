#pragma once

#include "simconnect/ClientClient.h"
#include "simconnect/ClientConfig.h"

namespace simconnect {

// Finds and connects the transport for ConfigIndex: 0 connected (*client set),
// 1 nothing could be connected, 3 the configuration section is missing.
int OpenClientTransport(ClientClient** client, uint32_t configIndex);

// Connects with a given configuration, trying the fallback chain.
int ConnectWithFallback(ClientClient** client, ClientConfig config);

// The host window when the running executable offers the in-process mode.
HWND ProbeInProcessHost();

} // namespace simconnect
