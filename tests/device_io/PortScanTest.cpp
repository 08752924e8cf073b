#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>

#include <boost/asio/post.hpp>

#include "device_io/IOManager.h"

using enumerate::HardwareId;
using enumerate::SerialPort;

namespace {

// Runs the context until it runs out of work. With no next scan scheduled
// (interval 0) that is the moment the scan asked for has been compared and
// reported: the enumeration's work guard holds the context until then.
void RunScan(devio::IOManager& io) {
    io.ioContext.restart();
    io.ioContext.run();
}

// The enumerator runs on the scan thread, the callbacks on this one.
struct ScanRecorder {
    devio::IOManager io;
    std::vector<std::string> events;

    ScanRecorder() {
        io.SetScanInterval(0, false);
        io.SetEnumerator([this] {
            std::lock_guard<std::mutex> lock(mutex_);
            ++scans_;
            return present_;
        });
        io.portArrived = [this](const SerialPort& p) { events.push_back("+" + p.name); };
        io.portRemoved = [this](const SerialPort& p) { events.push_back("-" + p.name); };
    }

    void SetPresent(std::deque<SerialPort> present) {
        std::lock_guard<std::mutex> lock(mutex_);
        present_ = std::move(present);
    }

    int Scans() {
        std::lock_guard<std::mutex> lock(mutex_);
        return scans_;
    }

    std::vector<std::string> ScanNow() {
        events.clear();
        io.RescanNow();
        RunScan(io);
        return events;
    }

private:
    std::mutex mutex_;
    std::deque<SerialPort> present_;
    int scans_ = 0;
};

using V = std::vector<std::string>;

} // namespace

TEST(PortScan, ReportsArrivalsAndRemovalsInNameOrder) {
    ScanRecorder r;
    r.io.AddFilter(UsbIdFilter(0x32B6, -1));
    r.SetPresent({SerialPort("B", HardwareId(0x32B6, 1)), SerialPort("A", HardwareId(0x32B6, 1)),
                  SerialPort("X", HardwareId(0x2341, 0x42))});
    // The first scan runs at the first turn of the context.
    RunScan(r.io);
    EXPECT_EQ((V{"+A", "+B"}), r.events);
    EXPECT_EQ(1, r.Scans());

    r.SetPresent({SerialPort("C", HardwareId(0x32B6, 1)), SerialPort("B", HardwareId(0x32B6, 1))});
    EXPECT_EQ((V{"-A", "+C"}), r.ScanNow());
    r.SetPresent({SerialPort("C", HardwareId(0x32B6, 1)), SerialPort("B2", HardwareId(0x32B6, 1))});
    EXPECT_EQ((V{"-B", "+B2"}), r.ScanNow());
    // Nothing changed: no callback.
    EXPECT_EQ(V{}, r.ScanNow());
    // Same name, changed id: removed, then arrived.
    r.SetPresent(
        {SerialPort("C", HardwareId(0x32B6, 1, 2)), SerialPort("B2", HardwareId(0x32B6, 1))});
    EXPECT_EQ((V{"-C", "+C"}), r.ScanNow());
    // A prefix of another name sorts first.
    r.SetPresent({SerialPort("\\\\.\\COM10", HardwareId(0x32B6, 1)),
                  SerialPort("\\\\.\\COM1", HardwareId(0x32B6, 1))});
    EXPECT_EQ((V{"-B2", "-C", "+\\\\.\\COM1", "+\\\\.\\COM10"}), r.ScanNow());
    ASSERT_EQ(2u, r.io.KnownPorts().size());
    EXPECT_EQ("\\\\.\\COM1", r.io.KnownPorts()[0].name);
}

TEST(PortScan, FilterListAndItsChanges) {
    ScanRecorder r;
    r.SetPresent({SerialPort("A", HardwareId(0x32B6, 1)), SerialPort("L", HardwareId(0x2341, 0x42)),
                  SerialPort("N", HardwareId())});
    // An empty filter list lets every port pass.
    RunScan(r.io);
    EXPECT_EQ((V{"+A", "+L", "+N"}), r.events);
    r.io.AddFilter(UsbIdFilter(0x32B6, -1));
    EXPECT_EQ((V{"-L", "-N"}), r.ScanNow());
    r.io.AddFilter(UsbIdFilter(0x2341, 0x42));
    EXPECT_EQ((V{"+L"}), r.ScanNow());
    r.io.ClearFilters();
    r.io.AddFilter(UsbIdFilter(0x32B6, -1));
    EXPECT_EQ((V{"-L"}), r.ScanNow());
}

TEST(PortScan, IntervalDecidesTheNextScan) {
    ScanRecorder r;
    RunScan(r.io);
    EXPECT_EQ(1, r.Scans());
    // Interval 0: the context has nothing left to do, no next scan comes.
    RunScan(r.io);
    EXPECT_EQ(1, r.Scans());

    // Interval 1: the next scan starts no sooner than a second after the end
    // of the one before.
    devio::IOManager io;
    io.SetScanInterval(1, false);
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> starts;
    io.SetEnumerator([&] {
        std::lock_guard<std::mutex> lock(mutex);
        starts.push_back(std::chrono::steady_clock::now());
        return std::deque<SerialPort>();
    });
    auto scans = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return starts.size();
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (scans() < 2 && std::chrono::steady_clock::now() < deadline)
        io.ioContext.run_one_for(std::chrono::milliseconds(100));
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(2u, starts.size());
    EXPECT_GE(starts[1] - starts[0], std::chrono::seconds(1));
}

TEST(PortScan, FailedScanKeepsTheKnownList) {
    ScanRecorder r;
    r.SetPresent({SerialPort("A", HardwareId(1, 1))});
    RunScan(r.io);
    r.io.SetEnumerator([]() -> std::deque<SerialPort> { throw std::runtime_error("boom"); });
    r.io.RescanNow();
    r.io.ioContext.restart();
    EXPECT_THROW(r.io.ioContext.run(), std::runtime_error);
    ASSERT_EQ(1u, r.io.KnownPorts().size());
    EXPECT_EQ("A", r.io.KnownPorts()[0].name);
    // The failed scan scheduled no next one.
    EXPECT_FALSE(r.io.ScanScheduled());
}

TEST(PortScan, EnumerationDoesNotHoldUpTheIoContext) {
    // The system's enumeration can take many milliseconds; reads and writes of
    // the open ports must go on meanwhile.
    devio::IOManager io;
    io.SetScanInterval(0, false);
    std::promise<void> handlerRan;
    std::shared_future<void> ran = handlerRan.get_future().share();
    std::atomic<bool> sawHandler{false};
    io.SetEnumerator([ran, &sawHandler] {
        sawHandler = ran.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        return std::deque<SerialPort>{SerialPort("A", HardwareId(1, 1))};
    });
    std::vector<std::string> arrived;
    io.portArrived = [&](const SerialPort& p) { arrived.push_back(p.name); };
    // Queued behind the first scan, which runs at the first turn of the context.
    boost::asio::post(io.ioContext, [&] { handlerRan.set_value(); });
    RunScan(io);
    EXPECT_TRUE(sawHandler) << "the handler waited for the enumeration";
    EXPECT_EQ(V{"A"}, arrived) << "the scan's result is still reported on the context";
}
