#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

class serial_error : public std::runtime_error {
public:
    serial_error(const std::string& text, std::string port)
        : std::runtime_error(text), port_(std::move(port)) {}
    const std::string& port() const { return port_; }

private:
    std::string port_;
};

class serial_timeout : public std::runtime_error {
public:
    explicit serial_timeout(std::string port)
        : std::runtime_error("A serial timeout occurred"), port_(std::move(port)) {}
    const std::string& port() const { return port_; }

private:
    std::string port_;
};

// A small synchronous serial port: reads bytes and lines with a time-out,
// writes and flushes, and lets another thread cancel a blocked read.
class Win32SerialPort {
public:
    Win32SerialPort(std::string name, uint32_t baud, uint32_t timeoutMs, int32_t maxLineLength);
    ~Win32SerialPort();
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    void Close();
    uint8_t ReadByte();
    std::string ReadLine();
    uint32_t Write(const std::string& data);
    void CancelIo();

private:
    void Open();
    [[noreturn]] void Fail(const std::string& what);

    std::string name_;
    uint32_t baud_;
    uint32_t timeoutMs_;
    int32_t maxLineLength_;
    bool open_ = false;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::mutex lock_;
    // Set while a read is issued and not yet finished; set and issued as one
    // step under the lock.
    bool readInProgress_ = false;
    DWORD readingThread_ = 0;
    OVERLAPPED* readOverlapped_ = nullptr;
};

std::set<std::string> ListSerialCommPorts();
