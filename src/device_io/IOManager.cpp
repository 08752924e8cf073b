#include "device_io/IOManager.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include <boost/asio/post.hpp>

namespace devio {

IOManager::IOManager() : scanTimer_(ioContext), enumerator_(&enumerate::EnumerateSerialPorts) {
    // The first scan runs at the first turn of the context.
    scanTimer_.expires_at(boost::asio::steady_timer::time_point());
    scanTimer_.async_wait([this](const boost::system::error_code&) { StartScan(); });
    scanScheduled_ = true;
}

IOManager::~IOManager() {
    StopScans();
    filters_.clear();
    knownPorts_.clear();
}

void IOManager::StopScans() {
    scansStopped_ = true;
    scanScheduled_ = false;
    scanTimer_.cancel();
    {
        std::lock_guard<std::mutex> lock(scanMutex_);
        scanThreadStop_ = true;
        // Their work guards go with them: nothing waits for these scans.
        scanRequests_.clear();
    }
    scanWake_.notify_one();
    if (scanThread_.joinable())
        scanThread_.join();
}

void IOManager::AddFilter(const UsbIdFilter& filter) {
    filters_.push_back(filter);
}

void IOManager::ClearFilters() {
    filters_.clear();
}

bool IOManager::MatchesFilter(const enumerate::SerialPort& port) const {
    for (const UsbIdFilter& filter : filters_)
        if (filter.Matches(port))
            return true;
    return false;
}

bool PortNameLess(const enumerate::SerialPort& a, const enumerate::SerialPort& b) {
    // std::string compares its chars as unsigned through char_traits<char>.
    return a.name < b.name;
}

void IOManager::Scan(const boost::system::error_code&) {
    CompareScan(enumerator_());
}

void IOManager::StartScan() {
    if (scansStopped_)
        return;
    if (!scanThread_.joinable())
        scanThread_ = std::thread([this] { ScanThreadMain(); });
    {
        std::lock_guard<std::mutex> lock(scanMutex_);
        // The work guard keeps the context from running out of work while the
        // enumeration is out: run() and run_one() wait for its result instead
        // of returning, and the context is not stopped (run_for still returns
        // when its time is up).
        scanRequests_.emplace_back(enumerator_, boost::asio::make_work_guard(ioContext));
    }
    scanWake_.notify_one();
}

void IOManager::ScanThreadMain() {
    for (;;) {
        Enumerator enumerator;
        {
            std::unique_lock<std::mutex> lock(scanMutex_);
            scanWake_.wait(lock, [this] { return scanThreadStop_ || !scanRequests_.empty(); });
            if (scanThreadStop_)
                return;
            enumerator = scanRequests_.front().first;
        }
        std::deque<enumerate::SerialPort> found;
        std::exception_ptr failure;
        try {
            found = enumerator();
        } catch (...) {
            failure = std::current_exception();
        }
        boost::asio::post(ioContext, [this, found = std::move(found), failure]() mutable {
            if (scansStopped_)
                return;
            // From here until CompareScan schedules the next one, no scan is
            // on its way; a failure leaves it so.
            scanScheduled_ = false;
            if (failure)
                std::rethrow_exception(failure);
            CompareScan(std::move(found));
        });
        std::lock_guard<std::mutex> lock(scanMutex_);
        // StopScans may have dropped the request already.
        if (!scanRequests_.empty())
            scanRequests_.pop_front();
    }
}

void IOManager::CompareScan(std::deque<enumerate::SerialPort> found) {
    if (!filters_.empty()) {
        found.erase(
            std::remove_if(found.begin(), found.end(),
                           [this](const enumerate::SerialPort& p) { return !MatchesFilter(p); }),
            found.end());
    }
    std::stable_sort(found.begin(), found.end(), PortNameLess);

    size_t i = 0, j = 0;
    auto arrived = [this](const enumerate::SerialPort& p) {
        if (portArrived)
            portArrived(p);
    };
    auto removed = [this](const enumerate::SerialPort& p) {
        if (portRemoved)
            portRemoved(p);
    };
    while (i < found.size() && j < knownPorts_.size()) {
        if (PortNameLess(found[i], knownPorts_[j])) {
            arrived(found[i++]);
        } else if (PortNameLess(knownPorts_[j], found[i])) {
            removed(knownPorts_[j++]);
        } else {
            if (found[i] != knownPorts_[j]) {
                removed(knownPorts_[j]);
                arrived(found[i]);
            }
            ++i;
            ++j;
        }
    }
    for (; i < found.size(); ++i)
        arrived(found[i]);
    for (; j < knownPorts_.size(); ++j)
        removed(knownPorts_[j]);

    knownPorts_ = std::move(found);
    ScheduleScan();
}

void IOManager::ScheduleScan() {
    if (scansStopped_ || scanInterval_ <= 0)
        return;
    scanTimer_.expires_after(std::chrono::seconds(scanInterval_));
    scanTimer_.async_wait([this](const boost::system::error_code& error) {
        if (error != boost::asio::error::operation_aborted)
            StartScan();
    });
    scanScheduled_ = true;
}

void IOManager::SetScanInterval(int seconds, bool rearm) {
    if (seconds == scanInterval_ && !rearm)
        return;
    scanInterval_ = seconds;
    if (rearm) {
        scanTimer_.cancel();
        scanScheduled_ = false;
        ScheduleScan();
    }
}

void IOManager::RescanNow() {
    if (scansStopped_)
        return;
    scanTimer_.cancel();
    scanTimer_.expires_after(std::chrono::nanoseconds(0));
    scanTimer_.async_wait([this](const boost::system::error_code&) { StartScan(); });
    scanScheduled_ = true;
}

size_t IOManager::RunOne() {
    return ioContext.run_one();
}

void IOManager::Stop() {
    if (running_.exchange(false))
        ioContext.stop();
}

void IOManager::SetEnumerator(Enumerator enumerator) {
    enumerator_ = std::move(enumerator);
}

} // namespace devio
