// A plain Win32 serial port handle for checking the emulated devices.
#pragma once

#include <windows.h>

#include <string>

class TestSerialPort {
public:
    explicit TestSerialPort(const std::wstring& path);
    ~TestSerialPort();
    TestSerialPort(const TestSerialPort&) = delete;
    TestSerialPort& operator=(const TestSerialPort&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD OpenError() const { return openError_; }
    // GetCommState, then 115200 8N1 without flow control and 1 ms read intervals.
    bool Configure();
    // Bytes until the deadline passes or `count` bytes arrived; false on a read error.
    bool Read(std::string& out, size_t count, DWORD timeoutMs);
    // One line without its end ("\n", "\r" dropped); empty on time-out.
    std::string ReadLine(DWORD timeoutMs);
    bool Write(const std::string& bytes);
    void Close();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD openError_ = 0;
    std::string pending_;
};
