#include "simconnect/ClientTransport.h"

namespace simconnect {

namespace {

constexpr WPARAM InProcessCommand = 0x2002A;

typedef HWND (*MainWindowProc)();

// One attempt on a fresh connection object, stored in *out when it connects;
// destroyed again when it fails.
bool TryConnect(ClientClient** out, uint32_t kind, uint32_t family, const ClientConfig& config) {
    ClientClient* client = new (std::nothrow) ClientClient(kind);
    if (!client)
        return false;
    if (client->Connect(family, config.address, config.port, config.maxReceiveSize,
                        config.disableNagle) == 0) {
        *out = client;
        return true;
    }
    DestroyClient(client);
    return false;
}

} // namespace

HWND ProbeInProcessHost() {
    FARPROC proc = GetProcAddress(GetModuleHandleA(nullptr), "FlightSimGetMainHwnd");
    if (!proc)
        return nullptr;
    HWND window = reinterpret_cast<MainWindowProc>(reinterpret_cast<void*>(proc))();
    if (!window)
        return nullptr;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId())
        return nullptr;
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ProbeInProcessHost), &self);
    PostMessageA(window, WM_COMMAND, InProcessCommand, reinterpret_cast<LPARAM>(self));
    return window;
}

int ConnectWithFallback(ClientClient** out, ClientConfig config) {
    *out = nullptr;
    uint32_t protocol = config.protocol;
    if (protocol == ProtocolPipe) {
        if (TryConnect(out, KindPipe, 0, config))
            return TransportConnected;
        if (!config.address.empty() && config.address != ".")
            return TransportFailed;
        config.address = "::1";
        ReadRegistryPort(true, config.port);
        protocol = ProtocolIPv6;
    }
    if (protocol == ProtocolIPv6) {
        if (!EnsureWinsock())
            return TransportFailed;
        if (!config.port.empty() && TryConnect(out, KindSocket, ProtocolIPv6, config))
            return TransportConnected;
        if (config.address != "::1")
            return TransportFailed;
        config.address = "127.0.0.1";
        ReadRegistryPort(false, config.port);
        protocol = ProtocolIPv4;
    }
    if (protocol == ProtocolIPv4) {
        if (!EnsureWinsock())
            return TransportFailed;
        if (!config.port.empty() && TryConnect(out, KindSocket, ProtocolIPv4, config))
            return TransportConnected;
        if (config.address != "127.0.0.1")
            return TransportFailed;
        config.address = ".";
        config.port.clear();
        if (TryConnect(out, KindPipe, 0, config))
            return TransportConnected;
    }
    return TransportFailed;
}

int OpenClientTransport(ClientClient** out, uint32_t configIndex) {
    *out = nullptr;
    if (CheckConfigSection(configIndex) != 0)
        return TransportNoSection;
    HWND hostWindow = ProbeInProcessHost();
    ClientConfig config;
    if (configIndex != NoConfigIndex)
        ReadClientConfig(configIndex, config);
    int result = ConnectWithFallback(out, config);
    if (result == TransportConnected && hostWindow)
        (*out)->EnterInProcessWaiting(hostWindow);
    return result;
}

} // namespace simconnect
