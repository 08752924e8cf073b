#include "simconnect/ClientClient.h"

#include <ws2tcpip.h>

#include <cstdio>

namespace simconnect {

namespace {

constexpr const char* DefaultPipeFormat = "\\\\%s\\pipe\\Microsoft Flight Simulator\\SimConnect";
constexpr const char* NamedPipeFormat = "\\\\%s\\pipe\\%s";
constexpr size_t PipeNameSize = 256;

std::string PipeName(const std::string& address, const std::string& port) {
    // An empty address is the local machine for a named port as well.
    const char* server = address.empty() ? "." : address.c_str();
    char name[PipeNameSize];
    if (port.empty())
        snprintf(name, sizeof(name), DefaultPipeFormat, server);
    else
        snprintf(name, sizeof(name), NamedPipeFormat, server, port.c_str());
    return name;
}

} // namespace

int ClientClient::Connect(uint32_t connectFamily, const std::string& address,
                          const std::string& port, uint32_t newMaxReceiveSize,
                          bool newDisableNagle) {
    if (kind == KindPipe) {
        std::string name = PipeName(address, port);
        HANDLE pipe = INVALID_HANDLE_VALUE;
        // A busy pipe is waited for a few times, never endlessly.
        for (uint32_t attempt = 0;; ++attempt) {
            pipe = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
            if (pipe != INVALID_HANDLE_VALUE)
                break;
            if (GetLastError() != ERROR_PIPE_BUSY || attempt >= PipeBusyAttempts)
                return 1;
            if (!WaitNamedPipeA(name.c_str(), PipeBusyWaitMs))
                return 1;
        }
        if (!BindIoCompletionCallback(pipe, IoCompletion, 0)) {
            CloseHandle(pipe);
            return 1;
        }
        Attach(pipe, 0, newMaxReceiveSize, newDisableNagle);
        Reset();
        StartRead();
        return 0;
    }

    addrinfo hints{};
    hints.ai_flags = 0;
    hints.ai_family = static_cast<int>(connectFamily);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        if (found)
            freeaddrinfo(found);
        return 1;
    }
    int result = 1;
    SOCKET socket = ::WSASocketW(found->ai_family, found->ai_socktype, found->ai_protocol, nullptr,
                                 0, WSA_FLAG_OVERLAPPED);
    if (socket != INVALID_SOCKET) {
        if (connect(socket, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
            BindIoCompletionCallback(reinterpret_cast<HANDLE>(socket), IoCompletion, 0)) {
            Attach(reinterpret_cast<HANDLE>(socket), static_cast<uint32_t>(found->ai_family),
                   newMaxReceiveSize, newDisableNagle);
            Reset();
            StartRead();
            result = 0;
        } else {
            closesocket(socket);
        }
    }
    freeaddrinfo(found);
    return result;
}

} // namespace simconnect
