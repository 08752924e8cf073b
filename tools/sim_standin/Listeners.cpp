#include "Listeners.h"

#include <ws2tcpip.h>

#include <thread>
#include <vector>

namespace standin {

namespace {
constexpr DWORD PipeBufferSize = 65536;
constexpr int FreeInstances = 4;
} // namespace

HANDLE PipeListener::CreateInstance(bool first) {
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first)
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    return CreateNamedPipeW(name.c_str(), openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, PipeBufferSize, PipeBufferSize, 0, nullptr);
}

bool PipeListener::Start(std::string& error) {
    // A pipe name that some other process serves already is refused (the first-instance
    // flag alone is not honoured everywhere).
    if (WaitNamedPipeW(name.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND) {
        error = "the pipe is served by another process";
        return false;
    }
    HANDLE first = CreateInstance(true);
    if (first == INVALID_HANDLE_VALUE) {
        error = "cannot create the pipe (error " + std::to_string(GetLastError()) +
                "); is another stand-in serving it?";
        return false;
    }
    // Every free instance exists before the caller announces that it is ready.
    std::vector<HANDLE> instances{first};
    while (instances.size() < FreeInstances)
        instances.push_back(CreateInstance(false));
    std::thread(&PipeListener::Loop, this, instances).detach();
    return true;
}

void PipeListener::Loop(std::vector<HANDLE> instances) {
    // Several free instances wait at once, each with its own pending connect, so that
    // clients arriving in a burst never find the pipe busy; every instance taken is
    // replaced at once.
    struct Slot {
        HANDLE instance = INVALID_HANDLE_VALUE;
        HANDLE event = nullptr;
        OVERLAPPED overlapped = {};
        bool connected = false;
    };
    Slot slots[FreeInstances];
    auto listen = [this](Slot& slot, HANDLE instance) {
        slot.instance = instance;
        slot.connected = false;
        slot.overlapped = {};
        slot.overlapped.hEvent = slot.event;
        ResetEvent(slot.event);
        if (instance == INVALID_HANDLE_VALUE)
            return;
        if (ConnectNamedPipe(instance, &slot.overlapped)) {
            slot.connected = true;
        } else {
            DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED)
                slot.connected = true;
            else if (error != ERROR_IO_PENDING) {
                CloseHandle(instance);
                slot.instance = INVALID_HANDLE_VALUE;
            }
        }
        if (slot.connected)
            SetEvent(slot.event);
    };
    HANDLE events[FreeInstances];
    for (int i = 0; i < FreeInstances; ++i) {
        slots[i].event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        events[i] = slots[i].event;
        listen(slots[i], instances[i]);
    }
    for (;;) {
        for (auto& slot : slots) {
            if (slot.instance == INVALID_HANDLE_VALUE) {
                HANDLE instance = CreateInstance(false);
                if (instance == INVALID_HANDLE_VALUE)
                    Sleep(100);
                listen(slot, instance);
            }
        }
        DWORD woken = WaitForMultipleObjects(FreeInstances, events, FALSE, 1000);
        if (woken >= WAIT_OBJECT_0 + FreeInstances)
            continue;
        Slot& slot = slots[woken - WAIT_OBJECT_0];
        HANDLE instance = slot.instance;
        bool connected = slot.connected;
        if (!connected) {
            DWORD ignored = 0;
            connected = GetOverlappedResult(instance, &slot.overlapped, &ignored, FALSE) != FALSE;
        }
        // The replacement listens before the taken instance is handed on.
        listen(slot, CreateInstance(false));
        if (connected)
            server.AddConnection(
                std::make_shared<Connection>(Connection::Transport::Pipe, instance));
        else
            CloseHandle(instance);
    }
}

bool TcpListener::Start(unsigned short port, std::string& error) {
    listener = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        error = "socket failed: " + std::to_string(WSAGetLastError());
        return false;
    }
    sockaddr_storage address = {};
    int length = 0;
    if (family == AF_INET6) {
        DWORD only = 1;
        setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only),
                   sizeof only);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        v6->sin6_addr = in6addr_loopback;
        length = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *v4;
    }
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, SOMAXCONN) != 0) {
        error = "bind/listen failed: " + std::to_string(WSAGetLastError());
        closesocket(listener);
        listener = INVALID_SOCKET;
        return false;
    }
    sockaddr_storage bound = {};
    int boundLength = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    boundPort = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    std::thread(&TcpListener::Loop, this).detach();
    return true;
}

void TcpListener::Loop() {
    Connection::Transport kind =
        family == AF_INET6 ? Connection::Transport::IPv6 : Connection::Transport::IPv4;
    for (;;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            Sleep(100);
            continue;
        }
        server.AddConnection(std::make_shared<Connection>(kind, client));
    }
}

} // namespace standin
