#include "device_io/DeviceIOManager.h"

#include <algorithm>
#include <system_error>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

#include "support/Logger.h"

namespace {

int64_t Ns(std::chrono::nanoseconds d) {
    return static_cast<int64_t>(d.count());
}

bool Contains(const std::list<std::string>& list, const std::string& port) {
    return std::find(list.begin(), list.end(), port) != list.end();
}

void LogIoThreadError(const char* what) {
    if (gLogger)
        gLogger->Error("AllSerialWatch: error on the I/O thread: %s", what);
}

// Runs one step of the I/O thread; whatever it throws is logged, and the
// thread carries on. True when the step threw.
template <typename Step> bool RunLogged(Step step) {
    try {
        step();
        return false;
    } catch (const std::exception& e) {
        LogIoThreadError(e.what());
    } catch (...) {
        LogIoThreadError("unknown exception");
    }
    return true;
}

// One of the six kinds a request is made with; anything else is dropped.
bool IsKnownKind(DeviceIoRequestKind kind) {
    const auto number = static_cast<int32_t>(kind);
    return number >= static_cast<int32_t>(DeviceIoRequestKind::SendReady) &&
           number <= static_cast<int32_t>(DeviceIoRequestKind::SetLegacySupport);
}

} // namespace

DeviceIOManager::DeviceIOManager(MessageCallback callback, DeviceIoTimings timings)
    : callback_(std::move(callback)), timings_(timings), retryTimer_(portWatcher_.ioContext) {
    portWatcher_.portArrived = [this](const enumerate::SerialPort& p) { OnPortArrived(p); };
    portWatcher_.portRemoved = [this](const enumerate::SerialPort& p) { OnPortRemoved(p); };
    portWatcher_.SetScanInterval(1, false);
    UpdateUsbFilter();
}

DeviceIOManager::~DeviceIOManager() {
    // A thread left running here would end the program; stop it first.
    Stop();
    try {
        ClearAllLeds();
    } catch (const std::exception& e) {
        if (gLogger)
            gLogger->Error("AllSerialWatch: %s", e.what());
    }
    if (gLogger)
        gLogger->Info("AllSerialWatch: stopped");
}

bool DeviceIOManager::Start() {
    if (ioThread_.joinable())
        return false;
    running_ = true;
    try {
        ioThread_ = std::thread([this] { IoThreadMain(); });
    } catch (...) {
        running_ = false;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return true;
}

void DeviceIOManager::Stop() {
    bool wasRunning = running_.exchange(false);
    if (!wasRunning || !ioThread_.joinable())
        return;
    WakeIoThread();
    try {
        ioThread_.join();
    } catch (const std::system_error& e) {
        if (gLogger)
            gLogger->Info("Got error terminating IO Thread: (%d) %s", e.code().value(), e.what());
    }
}

void DeviceIOManager::QueueRequest(const DeviceIoRequest& request) {
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        wasEmpty = requests_.empty();
        requests_.push_back(request);
    }
    // One wake-up per batch: the tick that takes the first request of the
    // list takes every request queued behind it as well.
    if (wasEmpty)
        WakeIoThread();
}

void DeviceIOManager::WakeIoThread() {
    // The tick that follows every handler does the work.
    boost::asio::post(portWatcher_.ioContext, [] {});
}

void DeviceIOManager::DispatchIncoming() {
    std::list<DeviceIncomingMessage> messages;
    {
        std::lock_guard<std::mutex> lock(incomingMutex_);
        messages.splice(messages.end(), incoming_);
    }
    if (!callback_)
        return;
    for (const DeviceIncomingMessage& message : messages)
        callback_(message);
}

void DeviceIOManager::IoThreadMain() {
    stopping_ = false;
    // The thread sleeps in run_one until a handler is ready: a read or write
    // completed, a timer (scan, identity, retry) expired, or a request or the
    // stop was posted. Whatever it was, the tick follows, so everything the
    // tick watches is looked at right after the event that changed it.
    auto work = boost::asio::make_work_guard(portWatcher_.ioContext);
    while (running_) {
        // One failed port or scan must not end the program: log it and carry
        // on with the next turn.
        if (RunLogged([this] {
                ReadyIoContext().run_one();
                tick();
            }))
            RearmFailedScan();
    }
    ShutdownIo();
}

void DeviceIOManager::RearmFailedScan() {
    if (!portWatcher_.ScanScheduled())
        portWatcher_.ScheduleScan();
}

boost::asio::io_context& DeviceIOManager::ReadyIoContext() {
    if (portWatcher_.ioContext.stopped())
        portWatcher_.ioContext.restart();
    return portWatcher_.ioContext;
}

void DeviceIOManager::DrainWrites() {
    // Give the lines queued last (the LEDs-off lines) a bounded time to leave.
    const auto deadline = std::chrono::steady_clock::now() + timings_.shutdownDrain;
    for (;;) {
        bool drained = true;
        for (auto& entry : openPorts_)
            if (!entry.second->WritesDrained())
                drained = false;
        if (drained || std::chrono::steady_clock::now() >= deadline)
            break;
        RunLogged([&] { ReadyIoContext().run_one_until(deadline); });
    }
}

void DeviceIOManager::ShutdownIo() {
    stopping_ = true;
    // From here on nothing is scanned, opened or retried: the ports open now
    // are the last ones, and only they are waited for.
    RunLogged([this] { portWatcher_.StopScans(); });
    toOpen_.clear();
    retryWait_.clear();
    retryTimer_.cancel();
    RunLogged([this] { ExecuteRequests(); });
    DrainWrites();
    if (!openPorts_.empty())
        RunLogged([this] { ReadyIoContext().run_for(timings_.shutdownSettle); });
    std::list<std::string> ports;
    for (auto& entry : openPorts_)
        ports.push_back(entry.first);
    for (const std::string& port : ports)
        RunLogged([&] { RemovePort(port); });
    retries_.clear();
    CloseStoppedPorts();
}

void DeviceIOManager::CloseStoppedPorts() {
    const auto deadline = std::chrono::steady_clock::now() + timings_.shutdownClose;
    while (!openPorts_.empty() && std::chrono::steady_clock::now() < deadline) {
        RunLogged([&] {
            ReadyIoContext().run_one_until(deadline);
            tick();
        });
    }
    if (openPorts_.empty())
        return;
    std::string names;
    for (const auto& entry : openPorts_)
        names += (names.empty() ? "" : ", ") + entry.first;
    if (gLogger)
        gLogger->Warning("AllSerialWatch: ports still busy at shutdown, closed as they are: %s",
                         names.c_str());
    closed_.clear();
    RunLogged([this] { openPorts_.clear(); });
}

void DeviceIOManager::tick() {
    const int64_t now = Now();

    // 1. Closed ports whose watch has gone idle.
    for (auto it = closed_.begin(); it != closed_.end();) {
        const std::string port = *it;
        auto open = openPorts_.find(port);
        if (open == openPorts_.end() || open->second->IsActive()) {
            ++it;
            continue;
        }
        LogTrace("ASW::tick(): Removing port %s", port.c_str());
        openPorts_.erase(open);
        auto record = retries_.find(port);
        if (record != retries_.end()) {
            record->second.NoteLost(Now(), Ns(timings_.lostGrace));
            if (record->second.RetryAllowed()) {
                LogTrace("ASW::tick(): Will retry port %s", port.c_str());
                record->second.lostNs = Now();
                QueueRetry(port);
            }
        } else {
            LogTrace("ASW::tick(): No retry for port %s", port.c_str());
        }
        it = closed_.erase(it);
    }

    // 2. Ports waiting for their retry.
    for (auto it = retryWait_.begin(); it != retryWait_.end();) {
        const std::string port = *it;
        auto record = retries_.find(port);
        if (record == retries_.end()) {
            LogTrace("ASW::tick(): Abandoning closed port %s", port.c_str());
            it = retryWait_.erase(it);
            continue;
        }
        int64_t elapsed = now - record->second.lostNs;
        if (elapsed <= Ns(timings_.retryWait)) {
            ++it;
            continue;
        }
        LogTrace("ASW::tick(): Retrying port %s after %d ms", port.c_str(),
                 static_cast<int>(elapsed / 1000000));
        toOpen_.push_back(port);
        it = retryWait_.erase(it);
    }
    ArmRetryTimer();

    // 3. Ports to open.
    std::list<std::string> toOpen;
    toOpen.swap(toOpen_);
    for (const std::string& port : toOpen) {
        auto record = retries_.find(port);
        if (record == retries_.end()) {
            LogTrace("ASW::tick(): Abandoning closed port %s", port.c_str());
        } else if (openPorts_.count(port) != 0) {
        } else if (record->second.RetryAllowed()) {
            LogTrace("ASW::tick(): Opening port %s", port.c_str());
            OpenPort(port);
        } else {
            LogTrace("ASW::tick(): Not opening port %s on retry due late failure?", port.c_str());
        }
    }

    // 4. Requests.
    ExecuteRequests();
}

void DeviceIOManager::ArmRetryTimer() {
    int64_t due = 0;
    for (const std::string& port : retryWait_) {
        auto record = retries_.find(port);
        if (record == retries_.end())
            continue;
        // The wait is over once strictly more than the retry wait has passed.
        int64_t portDue = record->second.lostNs + Ns(timings_.retryWait) + 1;
        if (due == 0 || portDue < due)
            due = portDue;
    }
    if (due == 0 || due == retryDueNs_)
        return;
    retryDueNs_ = due;
    // The clock may be another than the timer's: wait out what is left.
    retryTimer_.expires_after(std::chrono::nanoseconds(std::max<int64_t>(0, due - Now())));
    // The completion only wakes the thread; the tick after it moves the port on.
    retryTimer_.async_wait([this, due](const boost::system::error_code&) {
        if (retryDueNs_ == due)
            retryDueNs_ = 0;
    });
}

void DeviceIOManager::ExecuteRequests() {
    std::list<DeviceIoRequest> requests;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        requests.splice(requests.end(), requests_);
    }
    for (const DeviceIoRequest& request : requests) {
        if (!IsKnownKind(request.kind))
            continue;
        if (request.kind == DeviceIoRequestKind::SetLegacySupport) {
            if (request.flag != legacySupport_) {
                legacySupport_ = request.flag;
                UpdateUsbFilter();
            }
            continue;
        }
        std::shared_ptr<SerialWatch> watch = FindDevice(request.deviceId);
        if (!watch)
            continue;
        switch (request.kind) {
        case DeviceIoRequestKind::SendReady:
            watch->SendReady();
            break;
        case DeviceIoRequestKind::SetLeds:
            watch->SendLeds(request.text);
            break;
        case DeviceIoRequestKind::ClearLeds:
            watch->ClearLeds();
            break;
        case DeviceIoRequestKind::SetValue:
            watch->SendValue(request.text, request.value);
            break;
        case DeviceIoRequestKind::Recalibrate:
            watch->Write("!c\n");
            break;
        case DeviceIoRequestKind::SetLegacySupport: // taken above: it needs no device
            break;
        }
    }
}

void DeviceIOManager::OpenPort(const std::string& port) {
    // A stopping manager opens nothing new: the shutdown waits only for the
    // ports it stopped.
    if (stopping_)
        return;
    if (gLogger)
        gLogger->Info("AllSerialWatch: opening port %s", port.c_str());
    if (!retries_[port].NoteOpenAttempt(Now()))
        return;
    openPorts_[port] = std::make_shared<SerialWatch>(
        portWatcher_, port, [this](const DeviceIncomingMessage& m) { OnDeviceMessage(m); },
        [this](SerialWatch* watch) { OnWatchReport(watch); }, timings_.idTimeout);
}

void DeviceIOManager::AddPort(const std::string& port) {
    retries_.emplace(port, PortRetryState());
    toOpen_.push_back(port);
}

void DeviceIOManager::RemovePort(const std::string& port) {
    retries_.erase(port);
    // Closed before the stop, which can throw: the port still goes once idle.
    MarkClosed(port);
    auto open = openPorts_.find(port);
    if (open != openPorts_.end())
        open->second->Stop();
}

void DeviceIOManager::MarkClosed(const std::string& port) {
    if (!Contains(closed_, port))
        closed_.push_back(port);
}

void DeviceIOManager::QueueRetry(const std::string& port) {
    if (!Contains(retryWait_, port))
        retryWait_.push_back(port);
}

bool DeviceIOManager::IsPresent(const std::string& port) const {
    return retries_.count(port) != 0;
}

std::shared_ptr<SerialWatch> DeviceIOManager::FindDevice(const std::string& deviceId) const {
    for (const auto& entry : openPorts_)
        if (entry.second->Key() == deviceId)
            return entry.second;
    return nullptr;
}

void DeviceIOManager::UpdateUsbFilter() {
    portWatcher_.ClearFilters();
    for (const UsbIdFilter& filter : OwnUsbIds)
        portWatcher_.AddFilter(filter);
    if (legacySupport_)
        for (const UsbIdFilter& filter : LegacyUsbIds)
            portWatcher_.AddFilter(filter);
}

void DeviceIOManager::ClearAllLeds() {
    for (auto& entry : openPorts_)
        entry.second->ClearLeds();
}

void DeviceIOManager::QueueIncoming(const DeviceIncomingMessage& message) {
    {
        std::lock_guard<std::mutex> lock(incomingMutex_);
        incoming_.push_back(message);
    }
    NotifyWindow();
}

void DeviceIOManager::NotifyWindow() {
    if (IsWindow(notifyWindow_))
        PostMessageW(notifyWindow_, WMU_DEVICE_MESSAGE, 0, 0);
}

void DeviceIOManager::OnPortArrived(const enumerate::SerialPort& port) {
    if (!stopping_)
        AddPort(port.name);
}

void DeviceIOManager::OnPortRemoved(const enumerate::SerialPort& port) {
    if (!stopping_)
        RemovePort(port.name);
}

void DeviceIOManager::OnDeviceMessage(const DeviceIncomingMessage& message) {
    // Formatting every message is work for the trace alone.
    if (LogAccepts(BKFLog::LevelTrace))
        LogTrace("AllSerialWatch: msg: %s", message.ToString().c_str());
    if (message.type == DeviceMessageType::Disconnected) {
        auto open = openPorts_.find(message.port);
        if (open != openPorts_.end()) {
            // The bookkeeping and the message go before the stop, which can
            // throw: neither the disconnect nor the close may be lost.
            std::shared_ptr<SerialWatch> watch = open->second;
            MarkClosed(message.port);
            QueueIncoming(message);
            watch->Stop();
            return;
        }
        LogTrace("AllSerialWatch: got disconnect message from non-existent port %s",
                 message.port.c_str());
    }
    QueueIncoming(message);
}

void DeviceIOManager::OnWatchReport(SerialWatch* watch) {
    const std::string port = watch->Port();
    // A watch that was stopped (its port removed or closed) or replaced may
    // still be reading its last lines: what it reports no longer counts.
    auto open = openPorts_.find(port);
    if (open == openPorts_.end() || open->second.get() != watch || !watch->IsRunning())
        return;
    if (watch->DeliverPendingConnect()) {
        auto record = retries_.find(port);
        if (record != retries_.end())
            record->second.MarkGood(Now());
    } else {
        MarkClosed(port);
        watch->Stop();
    }
}

void DeviceIOManager::SendToDevice(const std::string& deviceId, const std::string& line) {
    LogTrace("ASW:write to %s", deviceId.c_str());
    for (const auto& entry : openPorts_) {
        LogTrace("considering %s: id=%s", entry.first.c_str(), entry.second->Key().c_str());
        if (entry.second->Key() != deviceId)
            continue;
        if (entry.second->State() != WatchState::Open) {
            if (gLogger)
                gLogger->Info("Device %s is in error state", entry.second->Key().c_str());
            return;
        }
        if (gLogger)
            gLogger->Info("AllSerialWatch: msg to %s on %s: %s", deviceId.c_str(),
                          entry.first.c_str(), line.c_str());
        entry.second->Write(line);
        return;
    }
    if (gLogger)
        gLogger->Info("AllSerialWatch: cannot deliver msg to unknown id %s: %s", deviceId.c_str(),
                      line.c_str());
}

void DeviceIOManager::ReconcileError(const std::string& port) {
    auto open = openPorts_.find(port);
    if (open == openPorts_.end()) {
        LogTrace("Error reported on port %s, but no open port found to reconcile it with",
                 port.c_str());
        return;
    }
    auto record = retries_.find(port);
    if (record != retries_.end()) {
        // The record keeps the state's number: its retry rule is a set of numbers.
        record->second.state = static_cast<int32_t>(open->second->State());
        if (open->second->State() == WatchState::IdentityTimeout)
            record->second.status = PortStatus::NeverAgain;
    }
    MarkClosed(port);
}
