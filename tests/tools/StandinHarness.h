#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace standin_test {

using Bytes = std::vector<uint8_t>;

// Little-endian request bodies.
class Body {
public:
    Body& U32(uint32_t value);
    Body& F32(float value);
    Body& Str(const std::string& text, size_t size);
    Body& Raw(const Bytes& bytes);
    const Bytes& Data() const { return bytes; }

private:
    Bytes bytes;
};

uint32_t U32At(const Bytes& bytes, size_t offset);

// The whole file, also while another process writes it; empty when it is missing.
std::string ReadFileText(const std::wstring& path);
std::string StrAt(const Bytes& bytes, size_t offset);

// sim_standin.exe started from the folder of this test, with its own files, stopped with
// "quit" on stdin. With ownEndpoints it has its own pipe name and writes no registry
// values; without, it serves the default pipe and writes the registry port values.
class StandinProcess {
public:
    explicit StandinProcess(const std::vector<std::wstring>& extraArgs = {},
                            const std::string& script = "", bool ownEndpoints = true);
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    bool Ready() const { return ready; }
    const std::wstring& PipePath() const { return pipePath; }
    unsigned short Port(const char* family) const; // "ipv4" or "ipv6"; 0 when none
    void Command(const std::string& line);
    std::string Record() const;
    // Waits until the record holds the text; true when it does.
    bool WaitForRecord(const std::string& text, DWORD timeoutMs = 5000) const;
    // Waits for the process to end; its exit code, or -1 on time-out.
    int WaitExit(DWORD timeoutMs);

private:
    std::wstring folder;
    std::wstring pipePath;
    std::string readyText;
    PROCESS_INFORMATION process = {};
    HANDLE stdinWrite = nullptr;
    bool ready = false;
};

// A client that speaks raw packets over the pipe or a TCP socket.
class RawClient {
public:
    static RawClient ConnectPipe(const std::wstring& path);
    static RawClient ConnectTcp(int family, unsigned short port);
    RawClient(RawClient&& other) noexcept;
    ~RawClient();

    bool Connected() const;
    // Sends one request with the next send id; returns that id.
    uint32_t Request(uint32_t number, const Body& body);
    uint32_t Open(const std::string& name = "tester");
    bool SendBytes(const Bytes& bytes);
    // The next message; false on time-out or end of stream.
    bool Receive(Bytes& message, DWORD timeoutMs = 3000);
    // The next message with that dwID, skipping others.
    bool ReceiveId(uint32_t id, Bytes& message, DWORD timeoutMs = 3000);
    // True when the stream ended (read returned end or an error) within the time.
    bool WaitClosed(DWORD timeoutMs = 3000);
    uint32_t LastSendId() const { return sendId; }

private:
    RawClient() = default;
    // Some bytes, waiting up to timeoutMs; 0 on time-out, -1 at end of stream.
    int ReadSome(uint8_t* buffer, size_t capacity, DWORD timeoutMs);

    HANDLE pipe = INVALID_HANDLE_VALUE;
    SOCKET socket = INVALID_SOCKET;
    Bytes pending;
    uint32_t sendId = 0;
};

} // namespace standin_test
