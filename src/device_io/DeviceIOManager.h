#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <boost/asio/steady_timer.hpp>

#include "device_io/DeviceMessages.h"
#include "device_io/IOManager.h"
#include "device_io/PortRetryState.h"
#include "device_io/SerialWatch.h"
#include "support/MonotonicClock.h"

// Posted to the notify window once per queued device message.
constexpr UINT WMU_DEVICE_MESSAGE = WM_APP + 6;

// The waits of the device I/O thread; tests shorten them.
struct DeviceIoTimings {
    std::chrono::nanoseconds idTimeout = std::chrono::seconds(15);
    std::chrono::nanoseconds retryWait = std::chrono::seconds(5);
    std::chrono::nanoseconds lostGrace = std::chrono::seconds(60);
    std::chrono::nanoseconds shutdownDrain = std::chrono::milliseconds(500);
    // A written line may still be on its way to the device when the write
    // completes; closing the port at once can drop it.
    std::chrono::nanoseconds shutdownSettle = std::chrono::milliseconds(50);
    // How long the shutdown waits for the stopped ports to go idle before it
    // drops them as they are.
    std::chrono::nanoseconds shutdownClose = std::chrono::seconds(2);
    // The clock of the retry decisions (steady-clock nanoseconds); tests give
    // one they move.
    MonotonicClock now = &MonotonicNowNs;
};

// Owns every open serial device and the thread they run on; carries requests
// down to the devices and device messages up to the application window.
class DeviceIOManager {
public:
    using MessageCallback = std::function<void(const DeviceIncomingMessage&)>;

    explicit DeviceIOManager(MessageCallback callback, DeviceIoTimings timings = {});
    virtual ~DeviceIOManager();
    DeviceIOManager(const DeviceIOManager&) = delete;
    DeviceIOManager& operator=(const DeviceIOManager&) = delete;

    void SetNotifyWindow(HWND window) { notifyWindow_ = window; }
    bool Start();
    void Stop();
    // May be called from any thread: wakes the I/O thread, whose next tick
    // executes the request after those queued before it.
    void QueueRequest(const DeviceIoRequest& request);
    void DispatchIncoming();

    // The port watcher; set its enumerator or interval before Start.
    devio::IOManager& PortWatcher() { return portWatcher_; }

    // Used on the I/O thread.
    void tick();
    void OpenPort(const std::string& port);
    void AddPort(const std::string& port);
    void RemovePort(const std::string& port);
    void MarkClosed(const std::string& port);
    void QueueRetry(const std::string& port);
    bool IsPresent(const std::string& port) const;
    std::shared_ptr<SerialWatch> FindDevice(const std::string& deviceId) const;
    void UpdateUsbFilter();
    void ClearAllLeds();
    void SendToDevice(const std::string& deviceId, const std::string& line);
    void ReconcileError(const std::string& port);

private:
    int64_t Now() const { return timings_.now(); }
    void IoThreadMain();
    // After an exception on the I/O thread: a scan that failed has scheduled
    // no next one, so schedule it; anything else leaves the scan alone.
    void RearmFailedScan();
    // Makes the I/O thread leave its wait and tick.
    void WakeIoThread();
    void ShutdownIo();
    void ExecuteRequests();
    void DrainWrites();
    // Waits, within the close time, for the stopped ports to go idle; drops
    // what is left after it.
    void CloseStoppedPorts();
    // Wakes the thread when the earliest port on the retry-wait list is due.
    void ArmRetryTimer();
    // The port watcher's I/O context, restarted when a previous run stopped it.
    boost::asio::io_context& ReadyIoContext();
    void QueueIncoming(const DeviceIncomingMessage& message);
    void NotifyWindow();
    void OnPortArrived(const enumerate::SerialPort& port);
    void OnPortRemoved(const enumerate::SerialPort& port);
    void OnDeviceMessage(const DeviceIncomingMessage& message);
    void OnWatchReport(SerialWatch* watch);

    HWND notifyWindow_ = nullptr;
    std::thread ioThread_;
    devio::IOManager portWatcher_;
    MessageCallback callback_;
    std::list<DeviceIncomingMessage> incoming_;
    std::mutex incomingMutex_;
    std::list<DeviceIoRequest> requests_;
    std::mutex requestMutex_;
    std::map<std::string, PortRetryState> retries_;
    std::map<std::string, std::shared_ptr<SerialWatch>> openPorts_;
    std::list<std::string> toOpen_;
    std::list<std::string> retryWait_;
    std::list<std::string> closed_;
    bool legacySupport_ = false;
    std::atomic<bool> running_{false};
    bool stopping_ = false;
    DeviceIoTimings timings_;
    boost::asio::steady_timer retryTimer_;
    int64_t retryDueNs_ = 0; // deadline of the pending retry wait; 0 when none
};
