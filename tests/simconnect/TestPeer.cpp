#include "TestPeer.h"

#include <ws2tcpip.h>

#include <cstring>

using simconnect::ClientClient;

namespace {

class PipePeer : public TestPeer {
public:
    PipePeer() : name(UniquePipeName()) {
        std::string full = "\\\\.\\pipe\\" + name;
        pipe = CreateNamedPipeA(full.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                1 << 20, 1 << 20, 0, nullptr);
    }
    ~PipePeer() override { CloseConnection(); }

    bool Accept() override {
        if (pipe == INVALID_HANDLE_VALUE)
            return false;
        return ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
    }
    size_t Available() override {
        DWORD available = 0;
        if (pipe == INVALID_HANDLE_VALUE ||
            !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
            return 0;
        return available;
    }
    void Write(const void* bytes, size_t count) override {
        DWORD written = 0;
        WriteFile(pipe, bytes, static_cast<DWORD>(count), &written, nullptr);
        FlushFileBuffers(pipe);
    }
    void CloseConnection() override {
        if (pipe != INVALID_HANDLE_VALUE) {
            DisconnectNamedPipe(pipe);
            CloseHandle(pipe);
        }
        pipe = INVALID_HANDLE_VALUE;
    }
    ClientClient* ConnectClient(uint32_t maxReceiveSize) override {
        auto* client = new ClientClient(simconnect::KindPipe);
        if (client->Connect(0, ".", name, maxReceiveSize, false) != 0 || !Accept()) {
            simconnect::DestroyClient(client);
            return nullptr;
        }
        return client;
    }
    bool IsPipe() const override { return true; }
    std::string Endpoint() const override { return name; }

protected:
    int ReadWaiting(uint8_t* into, size_t count) override {
        DWORD got = 0;
        if (!ReadFile(pipe, into, static_cast<DWORD>(count), &got, nullptr))
            return -1;
        return static_cast<int>(got);
    }

private:
    std::string name;
    HANDLE pipe = INVALID_HANDLE_VALUE;
};

class TcpPeer : public TestPeer {
public:
    TcpPeer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener, 4);
        int length = sizeof(address);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~TcpPeer() override {
        CloseConnection();
        closesocket(listener);
        WSACleanup();
    }
    bool Accept() override {
        connection = accept(listener, nullptr, nullptr);
        return connection != INVALID_SOCKET;
    }
    size_t Available() override {
        u_long available = 0;
        if (connection == INVALID_SOCKET || ioctlsocket(connection, FIONREAD, &available) != 0)
            return 0;
        return available;
    }
    void Write(const void* bytes, size_t count) override {
        const char* data = static_cast<const char*>(bytes);
        while (count > 0) {
            int sent = send(connection, data, static_cast<int>(count), 0);
            if (sent <= 0)
                break;
            data += sent;
            count -= static_cast<size_t>(sent);
        }
    }
    void CloseConnection() override {
        if (connection != INVALID_SOCKET) {
            shutdown(connection, SD_BOTH);
            closesocket(connection);
        }
        connection = INVALID_SOCKET;
    }
    ClientClient* ConnectClient(uint32_t maxReceiveSize) override {
        simconnect::EnsureWinsock();
        auto* client = new ClientClient(simconnect::KindSocket);
        if (client->Connect(AF_INET, "127.0.0.1", std::to_string(port), maxReceiveSize, true) !=
                0 ||
            !Accept()) {
            simconnect::DestroyClient(client);
            return nullptr;
        }
        return client;
    }
    bool IsPipe() const override { return false; }
    std::string Endpoint() const override { return std::to_string(port); }
    uint16_t Port() const { return port; }

protected:
    int ReadWaiting(uint8_t* into, size_t count) override {
        int got = recv(connection, reinterpret_cast<char*>(into), static_cast<int>(count), 0);
        return got <= 0 ? -1 : got;
    }

private:
    SOCKET listener = INVALID_SOCKET;
    SOCKET connection = INVALID_SOCKET;
    uint16_t port = 0;
};

} // namespace

std::vector<uint8_t> TestPeer::Read(size_t count, DWORD timeoutMs) {
    std::vector<uint8_t> bytes;
    DWORD start = GetTickCount();
    while (bytes.size() < count && GetTickCount() - start <= timeoutMs) {
        size_t available = Available();
        if (available == 0) {
            Sleep(2);
            continue;
        }
        size_t want = std::min(available, count - bytes.size());
        std::vector<uint8_t> chunk(want);
        int got = ReadWaiting(chunk.data(), want);
        if (got < 0)
            break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
    return bytes;
}

std::unique_ptr<TestPeer> MakePipePeer() {
    return std::make_unique<PipePeer>();
}
std::unique_ptr<TestPeer> MakeTcpPeer() {
    return std::make_unique<TcpPeer>();
}

std::string UniquePipeName() {
    static int counter = 0;
    return "bkf-sc-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

std::vector<uint8_t> MakePacket(uint32_t size, uint32_t id, uint8_t fill) {
    std::vector<uint8_t> bytes(size, fill);
    uint32_t header[3] = {size, 1, id};
    memcpy(bytes.data(), header, std::min<size_t>(size, sizeof(header)));
    return bytes;
}

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t value = 0;
    if (offset + 4 <= bytes.size())
        memcpy(&value, bytes.data() + offset, 4);
    return value;
}

NotifyWindow::NotifyWindow() {
    window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
}

NotifyWindow::~NotifyWindow() {
    if (window)
        DestroyWindow(window);
}

int NotifyWindow::Drain() {
    int count = 0;
    MSG message;
    while (PeekMessageW(&message, window, NotifyMessage, NotifyMessage, PM_REMOVE))
        ++count;
    return count;
}
