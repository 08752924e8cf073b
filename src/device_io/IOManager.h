#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>

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

    void Scan(const boost::system::error_code& error);
    void ScheduleScan();
    void SetScanInterval(int seconds, bool rearm);
    void RescanNow();
    size_t RunOne();
    void Stop();

    // Replaces the system enumeration (tests feed their own port lists).
    void SetEnumerator(Enumerator enumerator);
    const std::deque<enumerate::SerialPort>& KnownPorts() const { return knownPorts_; }

private:
    int scanInterval_ = 10;
    boost::asio::steady_timer scanTimer_;
    std::deque<enumerate::SerialPort> knownPorts_;
    std::list<UsbIdFilter> filters_;
    std::atomic<bool> running_{false};
    Enumerator enumerator_;
};

// Byte-wise name order; a name that is a prefix of another sorts first.
bool PortNameLess(const enumerate::SerialPort& a, const enumerate::SerialPort& b);

} // namespace devio
