#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceEmulator.h"
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
    void Clear();

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Makes gLogger with a recording target at the Trace level.
std::shared_ptr<RecordingTarget> RecordLog();

// Pumps this thread's window messages until the predicate holds or the time passes.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Waits (without pumping) until the predicate holds or the time passes.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

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
