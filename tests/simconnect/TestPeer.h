#pragma once

// The server end of a test connection: a named pipe or a TCP listener in the
// test process, reading what the library sends and writing chosen bytes.

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "simconnect/ClientClient.h"
#include "simconnect/RequestBuilder.h"

class TestPeer {
public:
    virtual ~TestPeer() = default;
    // Finishes the connection once the client has connected.
    virtual bool Accept() = 0;
    // Exactly count bytes, or fewer when the time ran out.
    std::vector<uint8_t> Read(size_t count, DWORD timeoutMs = 5000);
    // Bytes waiting to be read.
    virtual size_t Available() = 0;
    virtual void Write(const void* bytes, size_t count) = 0;
    // Ends the connection from the server side.
    virtual void CloseConnection() = 0;
    // Connects a fresh client to this peer; null when it failed.
    virtual simconnect::ClientClient* ConnectClient(uint32_t maxReceiveSize = 41088) = 0;
    virtual bool IsPipe() const = 0;
    // The TCP port, or the pipe name after \\.\pipe\.
    virtual std::string Endpoint() const = 0;

    void Write(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }

protected:
    // Reads at most count of the bytes waiting: how many it read, or -1 when
    // the connection cannot be read.
    virtual int ReadWaiting(uint8_t* into, size_t count) = 0;
};

std::unique_ptr<TestPeer> MakePipePeer();
std::unique_ptr<TestPeer> MakeTcpPeer();

// A unique pipe name under \\.\pipe\.
std::string UniquePipeName();

// A packet of the given size: u32 size, u32 version 1, u32 id, then a fill byte.
std::vector<uint8_t> MakePacket(uint32_t size, uint32_t id, uint8_t fill = 0xAB);

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset);

// A hidden message-only window that counts the notification messages posted to it.
class NotifyWindow {
public:
    NotifyWindow();
    ~NotifyWindow();
    HWND Handle() const { return window; }
    // Removes and counts the queued notification messages.
    int Drain();

private:
    HWND window = nullptr;
};

constexpr DWORD NotifyMessage = WM_APP + 5;

// Polls until the condition holds or the time runs out.
template <typename Condition> bool WaitFor(Condition condition, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}
