#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "device_io/SerialPortEnumeration.h"
#include "device_io/UsbIdFilter.h"

namespace devio {

// Owns the asynchronous I/O context of the device layer and watches the set of
// serial ports, reporting those that arrive and leave.
class IOManager {
public:
    using PortCallback = std::function<void(const enumerate::SerialPort&)>;
    using Enumerator = std::function<std::deque<enumerate::SerialPort>()>;

    IOManager();
    virtual ~IOManager();
    IOManager(const IOManager&) = delete;
    IOManager& operator=(const IOManager&) = delete;

    PortCallback portArrived;
    PortCallback portRemoved;
    boost::asio::io_context ioContext;

    void AddFilter(const UsbIdFilter& filter);
    void ClearFilters();
    bool MatchesFilter(const enumerate::SerialPort& port) const;

    // Enumerates the ports now and reports the differences at once.
    void Scan(const boost::system::error_code& error);
    // Enumerates the ports on the scan thread (the system's enumeration can
    // take many milliseconds, and the I/O thread must not wait for it), then
    // reports the differences on the I/O context, as Scan does.
    void StartScan();
    void ScheduleScan();
    void SetScanInterval(int seconds, bool rearm);
    void RescanNow();
    size_t RunOne();
    void Stop();

    // True while a next scan is on its way: its wait is armed, or its
    // enumeration is out and not yet reported. A scan that failed leaves none.
    bool ScanScheduled() const { return scanScheduled_; }
    // Ends the scanning for good: cancels the wait, drops the requested scans
    // and joins the scan thread; results still posted report nothing.
    void StopScans();

    // Replaces the system enumeration (tests feed their own port lists).
    void SetEnumerator(Enumerator enumerator);
    const std::deque<enumerate::SerialPort>& KnownPorts() const { return knownPorts_; }

private:
    // Reports the differences between the ports found and the known ones, and
    // schedules the next scan.
    void CompareScan(std::deque<enumerate::SerialPort> found);
    void ScanThreadMain();

    using WorkGuard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;

    int scanInterval_ = 10;
    bool scanScheduled_ = false;
    bool scansStopped_ = false;
    boost::asio::steady_timer scanTimer_;
    std::deque<enumerate::SerialPort> knownPorts_;
    std::list<UsbIdFilter> filters_;
    std::atomic<bool> running_{false};
    Enumerator enumerator_;

    // The scan thread, started at the first scan, waits for scan requests.
    std::thread scanThread_;
    std::mutex scanMutex_;
    std::condition_variable scanWake_;
    // One per requested scan, each with the enumerator of its request; each
    // keeps the context running until its result is posted.
    std::deque<std::pair<Enumerator, WorkGuard>> scanRequests_;
    bool scanThreadStop_ = false;
};

// Byte-wise name order; a name that is a prefix of another sorts first.
bool PortNameLess(const enumerate::SerialPort& a, const enumerate::SerialPort& b);

} // namespace devio
