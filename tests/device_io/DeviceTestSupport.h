#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeviceEmulator.h"
#include "EmulatedDevice.h"
#include "device_io/DeviceIOManager.h"
#include "support/Logger.h"

// The one emulator daemon of this test process.
devemu::DeviceEmulator& Emulator();

// Keeps every log line (all levels) for the checks of a test.
class RecordingTarget : public BKFLog::ILogTarget {
public:
    void Write(int level, const char* text) override;
    void Flush() override {}
    std::vector<std::string> Lines();
    size_t Count(const std::string& text);
    size_t CountStartingWith(const std::string& prefix);
    void Clear();

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Makes gLogger with a recording target at the Trace level.
std::shared_ptr<RecordingTarget> RecordLog();

// Calls a function with every log line, on the thread that logs it and at the
// moment it logs it: a test reaches into the I/O thread at a point it chooses.
// The logger's lock is held meanwhile, so the function must not log.
class LogHook : public BKFLog::ILogTarget {
public:
    explicit LogHook(std::function<void(const std::string&)> onLine) : onLine_(std::move(onLine)) {}
    void Write(int, const char* text) override { onLine_(text); }
    void Flush() override {}

private:
    std::function<void(const std::string&)> onLine_;
};

// Adds a hook at the Trace level to gLogger (made by RecordLog).
void AddLogHook(std::function<void(const std::string&)> onLine);

// A log hook for the length of a test: declared after what it uses, it is
// gone before that is.
class ScopedLogHook {
public:
    explicit ScopedLogHook(std::function<void(const std::string&)> onLine) {
        AddLogHook(std::move(onLine));
    }
    ~ScopedLogHook() { gLogger->RemoveTarget("hook"); }
    ScopedLogHook(const ScopedLogHook&) = delete;
    ScopedLogHook& operator=(const ScopedLogHook&) = delete;
};

bool HasPrefix(const std::string& text, const std::string& prefix);
bool HasSuffix(const std::string& text, const std::string& suffix);

// The steady clock moved on by what the test adds; safe on any thread.
class ShiftedClock {
public:
    int64_t Now() const;
    void Advance(std::chrono::nanoseconds by) { shiftNs_ += by.count(); }
    std::function<int64_t()> AsFunction() {
        return [this] { return Now(); };
    }

private:
    std::atomic<int64_t> shiftNs_{0};
};

// Pumps this thread's window messages until the predicate holds or the time passes.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Waits (without pumping) until the predicate holds or the time passes.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Runs a stop on another thread, so that a test sees a hang as a failure
// instead of hanging itself. The destructor waits for the stop to end.
class StopWatchdog {
public:
    explicit StopWatchdog(std::function<void()> stop);
    ~StopWatchdog();
    StopWatchdog(const StopWatchdog&) = delete;
    StopWatchdog& operator=(const StopWatchdog&) = delete;
    // Pumps this thread's messages until the stop has returned; false when it
    // has not within the time.
    bool Returned(std::chrono::milliseconds within);

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// A hidden message-only window that calls a function for each message it gets.
class MessageWindow {
public:
    explicit MessageWindow(std::function<void(UINT)> onMessage);
    ~MessageWindow();
    HWND Handle() const { return hwnd_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
    std::function<void(UINT)> onMessage_;
};

// Identity time-out 1 s, retry wait 300 ms.
DeviceIoTimings ShortTimings();

// A manager whose messages reach this thread through a window, as in the program.
struct ManagerOnWindow {
    std::vector<DeviceIncomingMessage> messages;
    std::unique_ptr<DeviceIOManager> manager;
    MessageWindow window;

    explicit ManagerOnWindow(DeviceIoTimings timings = ShortTimings());
    ~ManagerOnWindow();

    size_t CountOf(DeviceMessageType type, const std::string& port);
    bool WaitFor(DeviceMessageType type, const std::string& port, size_t count = 1,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(8000));
    std::vector<std::string> Commands(const std::string& port);
};

int HostOpens(devemu::EmulatedDevice& dev);
