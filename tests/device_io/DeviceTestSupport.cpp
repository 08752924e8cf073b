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

size_t RecordingTarget::CountStartingWith(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(
        lines_.begin(), lines_.end(), [&](const std::string& l) { return HasPrefix(l, prefix); }));
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

void AddLogHook(std::function<void(const std::string&)> onLine) {
    gLogger->AddTarget("hook", std::make_shared<LogHook>(std::move(onLine)));
    gLogger->SetTargetLevel("hook", BKFLog::LevelTrace);
}

bool HasPrefix(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool HasSuffix(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int64_t ShiftedClock::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           shiftNs_.load();
}

StopWatchdog::StopWatchdog(std::function<void()> stop)
    : thread_([this, stop = std::move(stop)] {
          stop();
          done_ = true;
      }) {}

StopWatchdog::~StopWatchdog() {
    thread_.join();
}

bool StopWatchdog::Returned(std::chrono::milliseconds within) {
    return PumpUntil([this] { return done_.load(); }, within);
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

DeviceIoTimings ShortTimings() {
    DeviceIoTimings t;
    t.idTimeout = std::chrono::milliseconds(1000);
    t.retryWait = std::chrono::milliseconds(300);
    return t;
}

ManagerOnWindow::ManagerOnWindow(DeviceIoTimings timings)
    : window([this](UINT msg) {
          if (msg == WMU_DEVICE_MESSAGE)
              manager->DispatchIncoming();
      }) {
    manager = std::make_unique<DeviceIOManager>(
        [this](const DeviceIncomingMessage& m) { messages.push_back(m); }, timings);
    manager->SetNotifyWindow(window.Handle());
}

ManagerOnWindow::~ManagerOnWindow() {
    manager->Stop();
    manager.reset();
}

size_t ManagerOnWindow::CountOf(DeviceMessageType type, const std::string& port) {
    size_t n = 0;
    for (const auto& m : messages)
        if (m.type == type && m.port == port)
            ++n;
    return n;
}

bool ManagerOnWindow::WaitFor(DeviceMessageType type, const std::string& port, size_t count,
                              std::chrono::milliseconds timeout) {
    return PumpUntil([&] { return CountOf(type, port) >= count; }, timeout);
}

std::vector<std::string> ManagerOnWindow::Commands(const std::string& port) {
    std::vector<std::string> lines;
    for (const auto& m : messages)
        if (m.type == DeviceMessageType::Command && m.port == port)
            lines.push_back(m.line);
    return lines;
}

int HostOpens(devemu::EmulatedDevice& dev) {
    return std::stoi(dev.Status()["host_opens"]);
}
