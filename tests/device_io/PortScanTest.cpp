#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>

#include <boost/asio/post.hpp>

#include "device_io/IOManager.h"

using enumerate::HardwareId;
using enumerate::SerialPort;

namespace {

struct ScanRecorder {
    devio::IOManager io;
    std::deque<SerialPort> present;
    std::vector<std::string> events;
    int scans = 0;

    ScanRecorder() {
        io.SetEnumerator([this] {
            ++scans;
            return present;
        });
        io.portArrived = [this](const SerialPort& p) { events.push_back("+" + p.name); };
        io.portRemoved = [this](const SerialPort& p) { events.push_back("-" + p.name); };
    }

    std::vector<std::string> ScanNow() {
        events.clear();
        io.RescanNow();
        io.ioContext.run_for(std::chrono::milliseconds(50));
        return events;
    }
};

using V = std::vector<std::string>;

} // namespace

TEST(PortScan, ReportsArrivalsAndRemovalsInNameOrder) {
    ScanRecorder r;
    r.io.AddFilter(UsbIdFilter(0x32B6, -1));
    r.present = {SerialPort("B", HardwareId(0x32B6, 1)), SerialPort("A", HardwareId(0x32B6, 1)),
                 SerialPort("X", HardwareId(0x2341, 0x42))};
    // The first scan runs at the first turn of the context.
    r.io.ioContext.run_for(std::chrono::milliseconds(50));
    EXPECT_EQ((V{"+A", "+B"}), r.events);
    EXPECT_EQ(1, r.scans);

    r.present = {SerialPort("C", HardwareId(0x32B6, 1)), SerialPort("B", HardwareId(0x32B6, 1))};
    EXPECT_EQ((V{"-A", "+C"}), r.ScanNow());
    r.present = {SerialPort("C", HardwareId(0x32B6, 1)), SerialPort("B2", HardwareId(0x32B6, 1))};
    EXPECT_EQ((V{"-B", "+B2"}), r.ScanNow());
    // Nothing changed: no callback.
    EXPECT_EQ(V{}, r.ScanNow());
    // Same name, changed id: removed, then arrived.
    r.present = {SerialPort("C", HardwareId(0x32B6, 1, 2)),
                 SerialPort("B2", HardwareId(0x32B6, 1))};
    EXPECT_EQ((V{"-C", "+C"}), r.ScanNow());
    // A prefix of another name sorts first.
    r.present = {SerialPort("\\\\.\\COM10", HardwareId(0x32B6, 1)),
                 SerialPort("\\\\.\\COM1", HardwareId(0x32B6, 1))};
    EXPECT_EQ((V{"-B2", "-C", "+\\\\.\\COM1", "+\\\\.\\COM10"}), r.ScanNow());
    ASSERT_EQ(2u, r.io.KnownPorts().size());
    EXPECT_EQ("\\\\.\\COM1", r.io.KnownPorts()[0].name);
}

TEST(PortScan, FilterListAndItsChanges) {
    ScanRecorder r;
    r.present = {SerialPort("A", HardwareId(0x32B6, 1)), SerialPort("L", HardwareId(0x2341, 0x42)),
                 SerialPort("N", HardwareId())};
    // An empty filter list lets every port pass.
    r.io.ioContext.run_for(std::chrono::milliseconds(50));
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
    r.io.SetScanInterval(0, false);
    r.io.ioContext.run_for(std::chrono::milliseconds(50));
    EXPECT_EQ(1, r.scans);
    // Interval 0: the context has nothing left to do.
    r.io.ioContext.restart();
    r.io.ioContext.run_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(1, r.scans);

    ScanRecorder s;
    s.io.SetScanInterval(1, false);
    s.io.ioContext.run_for(std::chrono::milliseconds(1600));
    EXPECT_EQ(2, s.scans);
}

TEST(PortScan, FailedScanKeepsTheKnownList) {
    ScanRecorder r;
    r.present = {SerialPort("A", HardwareId(1, 1))};
    r.io.ioContext.run_for(std::chrono::milliseconds(50));
    r.io.SetEnumerator([]() -> std::deque<SerialPort> { throw std::runtime_error("boom"); });
    r.io.RescanNow();
    EXPECT_THROW(r.io.ioContext.run_for(std::chrono::milliseconds(50)), std::runtime_error);
    ASSERT_EQ(1u, r.io.KnownPorts().size());
    EXPECT_EQ("A", r.io.KnownPorts()[0].name);
}

TEST(PortScan, EnumerationDoesNotHoldUpTheIoContext) {
    // The system's enumeration can take many milliseconds; reads and writes of
    // the open ports must go on meanwhile.
    devio::IOManager io;
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
    io.ioContext.run_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(sawHandler) << "the handler waited for the enumeration";
    EXPECT_EQ(V{"A"}, arrived) << "the scan's result is still reported on the context";
}
