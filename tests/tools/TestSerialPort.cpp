#include "TestSerialPort.h"

TestSerialPort::TestSerialPort(const std::wstring& path) {
    handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        openError_ = GetLastError();
}

TestSerialPort::~TestSerialPort() {
    Close();
}

void TestSerialPort::Close() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

bool TestSerialPort::Configure() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb))
        return false;
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!SetCommState(handle_, &dcb))
        return false;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutConstant = 50;
    return SetCommTimeouts(handle_, &timeouts) != FALSE;
}

bool TestSerialPort::Read(std::string& out, size_t count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (out.size() < count && GetTickCount64() < deadline) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr))
            return false;
        out.append(buffer, got);
        if (got == 0)
            Sleep(5);
    }
    return true;
}

std::string TestSerialPort::ReadLine(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (GetTickCount64() >= deadline)
            return std::string();
        if (!Read(pending_, pending_.size() + 1, 50))
            return std::string();
    }
}

bool TestSerialPort::Write(const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}
