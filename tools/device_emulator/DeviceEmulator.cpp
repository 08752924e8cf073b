#include "DeviceEmulator.h"

#include <windows.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "EmulatedDevice.h"
#include "UsbRegistry.h"

namespace devemu {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string ExeBaseName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name = name.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name = name.substr(0, dot);
    std::string out;
    for (wchar_t c : name)
        out += (c < 0x80 && c != L' ') ? static_cast<char>(c) : '_';
    return out;
}

// Quotes one argument for the command line Wine splits into the Linux argv.
std::wstring Quote(const std::string& arg) {
    std::wstring out = L"\"";
    for (unsigned char c : arg) {
        if (c == '"')
            out += L'\\';
        out += static_cast<wchar_t>(c);
    }
    return out + L"\"";
}

void MakeLinuxDirs(const std::string& path) {
    std::wstring win = LinuxPathToWindows(path);
    for (size_t i = 3; i <= win.size(); ++i) {
        if (i == win.size() || win[i] == L'\\')
            CreateDirectoryW(win.substr(0, i).c_str(), nullptr);
    }
}

bool ReadPortFile(const std::string& dir, int& port) {
    HANDLE file = CreateFileW(LinuxPathToWindows(dir + "/port").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char text[32] = {};
    DWORD got = 0;
    const BOOL ok = ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    port = ok ? std::atoi(text) : 0;
    return port > 0;
}

} // namespace

std::wstring LinuxPathToWindows(const std::string& path) {
    std::wstring out = L"Z:";
    for (unsigned char c : path)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return out;
}

DeviceEmulator::DeviceEmulator() : DeviceEmulator(EmulatorOptions()) {}

DeviceEmulator::DeviceEmulator(EmulatorOptions options) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("device emulator: WSAStartup failed");
    controlDir_ = options.controlDir;
    if (controlDir_.empty() && !Env("BKF_DEVICE_EMULATOR_DIR").empty()) {
        controlDir_ = Env("BKF_DEVICE_EMULATOR_DIR");
    } else {
        if (controlDir_.empty()) {
            std::string base = Env("BKF_BINARY_DIR");
            if (base.empty())
                base = "/tmp";
            controlDir_ = base + "/device_emulator/" + ExeBaseName() + "-" +
                          std::to_string(GetCurrentProcessId());
        }
        StartDaemon(options);
    }
    Connect(options.startTimeoutMs);
    RemoveStaleEntries();
}

DeviceEmulator::~DeviceEmulator() {
    std::set<EmulatedDevice*> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        left = plugged_;
    }
    for (EmulatedDevice* device : left) {
        try {
            device->Unplug();
        } catch (const std::exception&) {
        }
    }
    if (startedDaemon_) {
        try {
            Request("QUIT");
        } catch (const std::exception&) {
        }
    }
    if (socket_ != INVALID_SOCKET)
        closesocket(socket_);
    WSACleanup();
}

void DeviceEmulator::StartDaemon(const EmulatorOptions& options) {
    std::string python = options.python;
    if (python.empty())
        python = Env("BKF_PYTHON");
    if (python.empty())
        python = "/usr/bin/python3";
    std::string script = options.script;
    if (script.empty())
        script = Env("BKF_DEVICE_EMULATOR_SCRIPT");
    if (script.empty()) {
        const std::string source = Env("BKF_SOURCE_DIR");
        if (source.empty())
            throw std::runtime_error("device emulator: BKF_SOURCE_DIR is not set");
        script = source + "/tools/device_emulator/device_emulator.py";
    }
    MakeLinuxDirs(controlDir_);
    DeleteFileW(LinuxPathToWindows(controlDir_ + "/port").c_str());

    // Wine runs a Linux program handed to CreateProcess as a Linux process.
    std::wstring command = LinuxPathToWindows(python) + L" " + Quote(script) + L" --control-dir " +
                           Quote(controlDir_) + L" --exit-with-client";
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        throw std::runtime_error("device emulator: cannot start " + python + " " + script +
                                 " (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    startedDaemon_ = true;
}

void DeviceEmulator::Connect(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int port = 0;
    while (!ReadPortFile(controlDir_, port)) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("device emulator: no daemon answered in " + controlDir_ +
                                     " (see daemon.log there)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET)
        throw std::runtime_error("device emulator: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("device emulator: cannot connect to port " + std::to_string(port));
    }
    BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    Request("PING");
}

std::string DeviceEmulator::Request(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line.find('\n') != std::string::npos) {
        throw std::invalid_argument("device emulator: a request is one line");
    }
    std::string out = line + "\n";
    for (size_t sent = 0; sent < out.size();) {
        int n = send(socket_, out.data() + sent, static_cast<int>(out.size() - sent), 0);
        if (n <= 0)
            throw std::runtime_error("device emulator: control link lost while sending");
        sent += static_cast<size_t>(n);
    }
    size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
        char buffer[65536];
        int n = recv(socket_, buffer, sizeof buffer, 0);
        if (n <= 0)
            throw std::runtime_error("device emulator: control link lost while receiving");
        pending_.append(buffer, static_cast<size_t>(n));
    }
    std::string reply = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (reply.compare(0, 2, "OK") != 0) {
        throw std::runtime_error("device emulator: " + line.substr(0, 80) + ": " + reply);
    }
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

void DeviceEmulator::NotePlugged(EmulatedDevice* device) {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_.insert(device);
}

void DeviceEmulator::NoteUnplugged(EmulatedDevice* device) {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_.erase(device);
}

} // namespace devemu
