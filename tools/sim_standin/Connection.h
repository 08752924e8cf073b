#pragma once

#include "WireFormat.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

namespace standin {

// One client's byte stream: a named-pipe instance or a TCP socket. One thread reads
// (ReadSome); any thread may write (Send), one write at a time.
class Connection {
public:
    enum class Transport { Pipe, IPv4, IPv6 };

    Connection(Transport transport, HANDLE pipe);
    Connection(Transport transport, SOCKET socket);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Transport Kind() const { return transport; }
    const char* KindName() const;

    // Blocks until some bytes arrive; false at end of stream, on error or after Close.
    bool ReadSome(uint8_t* buffer, size_t capacity, size_t& received);
    // Writes all bytes; false when the connection is closed or the write failed or
    // stalled for 5 seconds (the connection is then closed).
    bool Send(const Bytes& bytes);
    // Stops the stream at once: pending reads end, the peer sees the stream end.
    void Close();
    bool IsClosed() const { return closed; }

private:
    bool SendPipe(const Bytes& bytes);
    bool SendSocket(const Bytes& bytes);

    Transport transport;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    SOCKET socket = INVALID_SOCKET;
    HANDLE readEvent = nullptr;
    HANDLE writeEvent = nullptr;
    std::mutex writeLock;
    std::atomic<bool> closed{false};
};

} // namespace standin
