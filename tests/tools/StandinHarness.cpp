#include "StandinHarness.h"

#include <ws2tcpip.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

namespace standin_test {

Body& Body::U32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
    return *this;
}

Body& Body::F32(float value) {
    uint32_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    return U32(raw);
}

Body& Body::Str(const std::string& text, size_t size) {
    size_t length = text.size() < size ? text.size() : size;
    bytes.insert(bytes.end(), text.begin(), text.begin() + length);
    bytes.insert(bytes.end(), size - length, 0);
    return *this;
}

Body& Body::Raw(const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
}

uint32_t U32At(const Bytes& bytes, size_t offset) {
    if (offset + 4 > bytes.size())
        return 0xDEADBEEF;
    return uint32_t(bytes[offset]) | (uint32_t(bytes[offset + 1]) << 8) |
           (uint32_t(bytes[offset + 2]) << 16) | (uint32_t(bytes[offset + 3]) << 24);
}

std::string StrAt(const Bytes& bytes, size_t offset) {
    std::string text;
    for (size_t i = offset; i < bytes.size() && bytes[i]; ++i)
        text.push_back(char(bytes[i]));
    return text;
}

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

} // namespace

std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string text;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

StandinProcess::StandinProcess(const std::vector<std::wstring>& extraArgs,
                               const std::string& script, bool ownEndpoints) {
    static std::atomic<int> counter{0};
    // Process ids repeat across Wine runs: the tick count keeps folders apart, and the
    // files of an earlier run are removed so that an old ready file is never taken.
    std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"_" +
                          std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++counter);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"bkf_standin_" + unique;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"\\ready.txt", L"\\record.txt", L"\\script.txt"})
        DeleteFileW((folder + name).c_str());
    std::wstring pipeName = L"bkf_standin_test_" + unique;
    pipePath = L"\\\\.\\pipe\\" + pipeName;

    if (!ownEndpoints)
        pipePath = L"\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect";
    std::wstring commandLine = Quoted(ProgramFolder() + L"\\sim_standin.exe") + L" --ready-file " +
                               Quoted(folder + L"\\ready.txt") + L" --record " +
                               Quoted(folder + L"\\record.txt");
    if (ownEndpoints)
        commandLine += L" --no-registry --pipe " + Quoted(pipeName);
    if (!script.empty()) {
        std::wstring scriptPath = folder + L"\\script.txt";
        std::ofstream(scriptPath.c_str(), std::ios::binary) << script;
        commandLine += L" --script " + Quoted(scriptPath);
    }
    for (const auto& arg : extraArgs)
        commandLine += L" " + Quoted(arg);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE stdinRead = nullptr;
    CreatePipe(&stdinRead, &stdinWrite, &inherit, 0);
    SetHandleInformation(stdinWrite, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = stdinRead;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        CloseHandle(stdinRead);
        return;
    }
    CloseHandle(stdinRead);
    for (int i = 0; i < 300 && !ready; ++i) {
        readyText = ReadFileText(folder + L"\\ready.txt");
        ready = !readyText.empty();
        if (!ready) {
            if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0)
                break;
        }
    }
}

StandinProcess::~StandinProcess() {
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
            Command("quit");
            if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process.hProcess, 99);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (stdinWrite)
        CloseHandle(stdinWrite);
    for (const wchar_t* name : {L"\\ready.txt", L"\\record.txt", L"\\script.txt"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

unsigned short StandinProcess::Port(const char* family) const {
    std::istringstream lines(readyText);
    std::string key;
    std::string value;
    while (lines >> key >> value)
        if (key == family)
            return static_cast<unsigned short>(std::stoi(value));
    return 0;
}

void StandinProcess::Command(const std::string& line) {
    std::string text = line + "\n";
    DWORD put = 0;
    WriteFile(stdinWrite, text.data(), DWORD(text.size()), &put, nullptr);
}

std::string StandinProcess::Record() const {
    return ReadFileText(folder + L"\\record.txt");
}

bool StandinProcess::WaitForRecord(const std::string& text, DWORD timeoutMs) const {
    for (DWORD waited = 0;; waited += 20) {
        if (Record().find(text) != std::string::npos)
            return true;
        if (waited >= timeoutMs)
            return false;
        Sleep(20);
    }
}

int StandinProcess::WaitExit(DWORD timeoutMs) {
    if (!process.hProcess || WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return int(code);
}

RawClient RawClient::ConnectPipe(const std::wstring& path) {
    RawClient client;
    client.pipe = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    return client;
}

RawClient RawClient::ConnectTcp(int family, unsigned short port) {
    static bool started = false;
    if (!started) {
        WSADATA wsa;
        started = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    }
    RawClient client;
    addrinfo hints = {};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const char* host = family == AF_INET6 ? "::1" : "127.0.0.1";
    if (getaddrinfo(host, std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return client;
    SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s != INVALID_SOCKET && connect(s, found->ai_addr, int(found->ai_addrlen)) == 0)
        client.socket = s;
    else if (s != INVALID_SOCKET)
        closesocket(s);
    freeaddrinfo(found);
    return client;
}

RawClient::RawClient(RawClient&& other) noexcept
    : pipe(other.pipe), socket(other.socket), pending(std::move(other.pending)),
      sendId(other.sendId) {
    other.pipe = INVALID_HANDLE_VALUE;
    other.socket = INVALID_SOCKET;
}

RawClient::~RawClient() {
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    if (socket != INVALID_SOCKET)
        closesocket(socket);
}

bool RawClient::Connected() const {
    return pipe != INVALID_HANDLE_VALUE || socket != INVALID_SOCKET;
}

uint32_t RawClient::Request(uint32_t number, const Body& body) {
    ++sendId;
    Body packet;
    packet.U32(uint32_t(16 + body.Data().size())).U32(5).U32(0xF0000000 | number).U32(sendId);
    packet.Raw(body.Data());
    SendBytes(packet.Data());
    return sendId;
}

uint32_t RawClient::Open(const std::string& name) {
    return Request(0x01,
                   Body().Str(name, 256).U32(0).U32(0x004B4800).U32(11).U32(0).U32(62651).U32(3));
}

bool RawClient::SendBytes(const Bytes& bytes) {
    if (pipe != INVALID_HANDLE_VALUE) {
        DWORD put = 0;
        return WriteFile(pipe, bytes.data(), DWORD(bytes.size()), &put, nullptr) &&
               put == bytes.size();
    }
    return send(socket, reinterpret_cast<const char*>(bytes.data()), int(bytes.size()), 0) ==
           int(bytes.size());
}

int RawClient::ReadSome(uint8_t* buffer, size_t capacity, DWORD timeoutMs) {
    if (pipe != INVALID_HANDLE_VALUE) {
        for (DWORD waited = 0;; waited += 5) {
            DWORD available = 0;
            if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
                return -1;
            if (available > 0) {
                DWORD got = 0;
                if (!ReadFile(pipe, buffer, DWORD(available < capacity ? available : capacity),
                              &got, nullptr))
                    return -1;
                return int(got);
            }
            if (waited >= timeoutMs)
                return 0;
            Sleep(5);
        }
    }
    if (socket == INVALID_SOCKET)
        return -1;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval timeout = {long(timeoutMs / 1000), long((timeoutMs % 1000) * 1000)};
    int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == 0)
        return 0;
    int got = recv(socket, reinterpret_cast<char*>(buffer), int(capacity), 0);
    return got > 0 ? got : -1;
}

bool RawClient::Receive(Bytes& message, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (pending.size() >= 4) {
            uint32_t size = U32At(pending, 0);
            if (size >= 12 && pending.size() >= size) {
                message.assign(pending.begin(), pending.begin() + size);
                pending.erase(pending.begin(), pending.begin() + size);
                return true;
            }
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        uint8_t buffer[65536];
        int got = ReadSome(buffer, sizeof buffer, timeoutMs - elapsed);
        if (got < 0)
            return false;
        pending.insert(pending.end(), buffer, buffer + got);
    }
}

bool RawClient::ReceiveId(uint32_t id, Bytes& message, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        if (!Receive(message, timeoutMs - elapsed))
            return false;
        if (U32At(message, 8) == id)
            return true;
    }
}

bool RawClient::WaitClosed(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        uint8_t buffer[4096];
        if (ReadSome(buffer, sizeof buffer, timeoutMs - elapsed) < 0)
            return true;
    }
}

} // namespace standin_test
