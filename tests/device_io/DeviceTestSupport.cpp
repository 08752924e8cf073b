#include "DeviceTestSupport.h"

#include <algorithm>
#include <thread>

devemu::DeviceEmulator& Emulator() {
    static devemu::DeviceEmulator emulator;
    return emulator;
}

void RecordingTarget::Write(int, const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(text);
}

std::vector<std::string> RecordingTarget::Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

size_t RecordingTarget::Count(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), text));
}

void RecordingTarget::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

std::shared_ptr<RecordingTarget> RecordLog() {
    gLogger = MakeLogger();
    auto target = std::make_shared<RecordingTarget>();
    gLogger->AddTarget("record", target);
    gLogger->SetTargetLevel("record", BKFLog::LevelTrace);
    return target;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

MessageWindow::MessageWindow(std::function<void(UINT)> onMessage)
    : onMessage_(std::move(onMessage)) {
    static const wchar_t* className = L"DeviceIoTestWindow";
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &MessageWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassW(&wc);
        registered = true;
    }
    hwnd_ = CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), this);
}

MessageWindow::~MessageWindow() {
    if (hwnd_)
        DestroyWindow(hwnd_);
}

LRESULT CALLBACK MessageWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg >= WM_APP)
        self->onMessage_(msg);
    return DefWindowProcW(hwnd, msg, wp, lp);
}
