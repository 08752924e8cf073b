#include "device_io/Win32SerialPort.h"

#include "support/Logger.h"
#include "support/TextConversion.h"

Win32SerialPort::Win32SerialPort(std::string name, uint32_t baud, uint32_t timeoutMs,
                                 int32_t maxLineLength)
    : name_(std::move(name)), baud_(baud), timeoutMs_(timeoutMs), maxLineLength_(maxLineLength) {
    Open();
    open_ = true;
}

Win32SerialPort::~Win32SerialPort() {
    if (open_)
        Close();
}

void Win32SerialPort::Fail(const std::string& what) {
    throw serial_error(what + LastErrorText(), name_);
}

void Win32SerialPort::Open() {
    const std::string path = "\\\\.\\" + name_;
    // Opened for overlapped I/O so that another thread can cancel a blocked
    // read with CancelIoEx; every call below still waits for its completion.
    handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        Fail("CreateFile failed on " + path + ": ");
    try {
        COMMCONFIG config;
        ZeroMemory(&config, sizeof(config));
        DWORD size = sizeof(config);
        config.dwSize = sizeof(config);
        if (!GetCommConfig(handle_, &config, &size))
            Fail("GetCommConfig failed: ");
        DCB& dcb = config.dcb;
        dcb.BaudRate = baud_;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        if (!SetCommConfig(handle_, &config, size))
            Fail("SetCommConfig failed: ");
        COMMTIMEOUTS timeouts;
        if (!GetCommTimeouts(handle_, &timeouts))
            Fail("GetCommTimeouts failed: ");
        timeouts.ReadIntervalTimeout = timeoutMs_;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = timeoutMs_;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = timeoutMs_;
        if (!SetCommTimeouts(handle_, &timeouts))
            Fail("SetCommTimeouts failed: ");
    } catch (...) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        throw;
    }
    LogTrace("%s: port opened", name_.c_str());
}

void Win32SerialPort::Close() {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    open_ = false;
    LogTrace("%s: port closed", name_.c_str());
}

namespace {

// Runs one overlapped transfer to its end. False with the last error set when it failed.
template <typename Start>
bool Complete(HANDLE handle, OVERLAPPED& overlapped, DWORD& transferred, Start start) {
    if (start())
        return GetOverlappedResult(handle, &overlapped, &transferred, FALSE) != 0;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(handle, &overlapped, &transferred, TRUE) != 0;
}

struct EventHandle {
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~EventHandle() {
        if (handle)
            CloseHandle(handle);
    }
};

} // namespace

uint8_t Win32SerialPort::ReadByte() {
    EventHandle event;
    OVERLAPPED overlapped;
    ZeroMemory(&overlapped, sizeof(overlapped));
    overlapped.hEvent = event.handle;
    uint8_t byte = 0;
    DWORD got = 0;
    bool ok = false;
    DWORD error = 0;
    {
        // Marked and issued under the lock CancelIo takes: a cancel finds
        // either no read at all or the read already issued, never the moment
        // between the two.
        std::lock_guard<std::mutex> guard(lock_);
        readInProgress_ = true;
        readingThread_ = GetCurrentThreadId();
        readOverlapped_ = &overlapped;
        ok = ReadFile(handle_, &byte, 1, nullptr, &overlapped) != 0;
        if (!ok)
            error = GetLastError();
    }
    // Waited for outside the lock, so that a cancel can reach it.
    if (ok || error == ERROR_IO_PENDING) {
        ok = GetOverlappedResult(handle_, &overlapped, &got, error == ERROR_IO_PENDING) != 0;
        error = ok ? 0 : GetLastError();
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        readInProgress_ = false;
        readOverlapped_ = nullptr;
    }
    // An elapsed read time-out ends an overlapped read with ERROR_TIMEOUT.
    if (!ok && error != ERROR_TIMEOUT) {
        SetLastError(error);
        throw serial_error("ReadFile failed: " + LastErrorText(), name_);
    }
    if (got == 0)
        throw serial_timeout(name_);
    return byte;
}

std::string Win32SerialPort::ReadLine() {
    std::string line;
    for (int32_t i = 0; i < maxLineLength_; ++i) {
        uint8_t byte = ReadByte();
        if (byte == '\n')
            return line;
        line.push_back(static_cast<char>(byte));
    }
    throw serial_timeout(name_);
}

uint32_t Win32SerialPort::Write(const std::string& data) {
    EventHandle event;
    OVERLAPPED overlapped;
    ZeroMemory(&overlapped, sizeof(overlapped));
    overlapped.hEvent = event.handle;
    DWORD written = 0;
    bool ok = Complete(handle_, overlapped, written, [&] {
        return WriteFile(handle_, data.data(), static_cast<DWORD>(data.size()), nullptr,
                         &overlapped) != 0;
    });
    if (!ok && GetLastError() != ERROR_TIMEOUT)
        Fail("WriteFile failed: ");
    if (!FlushFileBuffers(handle_))
        Fail("FlushFileBuffers failed: ");
    if (written < data.size())
        throw serial_timeout(name_);
    return written;
}

void Win32SerialPort::CancelIo() {
    LogTrace("%s: cancelling I/O", name_.c_str());
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!readInProgress_) {
            LogTrace("%s: no I/O to cancel", name_.c_str());
            return;
        }
        // The read in progress has been issued: cancel exactly that request.
        // One that has completed already is past cancelling.
        if (!CancelIoEx(handle_, readOverlapped_)) {
            if (LogAccepts(BKFLog::LevelTrace))
                LogTrace("CancelIoEx failed: %s", LastErrorText().c_str());
            return;
        }
    }
    LogTrace("%s: I/O cancelled", name_.c_str());
}

std::set<std::string> ListSerialCommPorts() {
    std::set<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        if (LogAccepts(BKFLog::LevelTrace))
            LogTrace("RegOpenKeyEx failed: %s", LastErrorText().c_str());
        return ports;
    }
    LONG result = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        char name[1024];
        BYTE data[1024];
        DWORD nameSize = sizeof(name);
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        result = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result != ERROR_SUCCESS)
            break;
        if (type == REG_SZ) {
            // The stored string need not be terminated: end it at the size read.
            const char* text = reinterpret_cast<const char*>(data);
            ports.insert(std::string(text, strnlen(text, dataSize)));
        }
    }
    if (result != ERROR_NO_MORE_ITEMS) {
        SetLastError(static_cast<DWORD>(result));
        std::string text = LastErrorText();
        RegCloseKey(key);
        throw serial_error("RegEnumValue failed: " + text, std::string());
    }
    result = RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(result));
        throw serial_error("RegCloseKey failed: " + LastErrorText(), std::string());
    }
    return ports;
}
