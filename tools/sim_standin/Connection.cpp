#include "Connection.h"

namespace standin {

namespace {
constexpr DWORD WriteTimeoutMs = 5000;
}

Connection::Connection(Transport transport, HANDLE pipe) : transport(transport), pipe(pipe) {
    readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Connection::Connection(Transport transport, SOCKET socket) : transport(transport), socket(socket) {
    DWORD timeout = WriteTimeoutMs;
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    BOOL noDelay = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
}

Connection::~Connection() {
    Close();
    std::lock_guard<std::mutex> guard(writeLock);
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    if (socket != INVALID_SOCKET)
        closesocket(socket);
    if (readEvent)
        CloseHandle(readEvent);
    if (writeEvent)
        CloseHandle(writeEvent);
}

const char* Connection::KindName() const {
    switch (transport) {
    case Transport::Pipe:
        return "pipe";
    case Transport::IPv4:
        return "ipv4";
    default:
        return "ipv6";
    }
}

bool Connection::ReadSome(uint8_t* buffer, size_t capacity, size_t& received) {
    received = 0;
    if (closed)
        return false;
    if (socket != INVALID_SOCKET) {
        int got = recv(socket, reinterpret_cast<char*>(buffer), int(capacity), 0);
        if (got <= 0)
            return false;
        received = size_t(got);
        return true;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = readEvent;
    ResetEvent(readEvent);
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, DWORD(capacity), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    if (closed)
        CancelIoEx(pipe, &overlapped);
    if (!GetOverlappedResult(pipe, &overlapped, &got, TRUE) || got == 0)
        return false;
    received = got;
    return !closed;
}

bool Connection::Send(const Bytes& bytes) {
    if (bytes.empty())
        return true;
    std::lock_guard<std::mutex> guard(writeLock);
    if (closed)
        return false;
    bool sent = socket != INVALID_SOCKET ? SendSocket(bytes) : SendPipe(bytes);
    if (!sent)
        Close();
    return sent;
}

bool Connection::SendSocket(const Bytes& bytes) {
    size_t offset = 0;
    while (offset < bytes.size()) {
        int put = send(socket, reinterpret_cast<const char*>(bytes.data() + offset),
                       int(bytes.size() - offset), 0);
        if (put <= 0)
            return false;
        offset += size_t(put);
    }
    return true;
}

bool Connection::SendPipe(const Bytes& bytes) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = writeEvent;
    ResetEvent(writeEvent);
    if (!WriteFile(pipe, bytes.data(), DWORD(bytes.size()), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    if (WaitForSingleObject(writeEvent, WriteTimeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
        return false;
    }
    DWORD put = 0;
    return GetOverlappedResult(pipe, &overlapped, &put, FALSE) && put == bytes.size();
}

void Connection::Close() {
    if (closed.exchange(true))
        return;
    if (socket != INVALID_SOCKET) {
        shutdown(socket, SD_BOTH);
    } else if (pipe != INVALID_HANDLE_VALUE) {
        // The handle itself is closed by the destructor, once the reader has let go;
        // the client then sees a broken pipe.
        CancelIoEx(pipe, nullptr);
    }
}

} // namespace standin
