// The device I/O thread's stop and retry paths at the moments where they meet:
// a stop that finds the read already completed, a report from a watch that was
// stopped, a retry that falls due while the manager shuts down. Each test
// reaches the I/O thread at the exact moment through a log hook.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include <boost/asio/post.hpp>

#include "DeviceTestSupport.h"
#include "EmulatedDevice.h"
#include "device_io/DeviceIOManager.h"

using namespace std::chrono_literals;

namespace {

const std::string Ident = "####Brackenfold#M1#7#1.2#0A";
const std::string Key = "7M10A";
const std::string IdentB = "####Brackenfold#M2#8#1.0#0B";
const std::string KeyB = "8M20B";

std::string Port(int com) {
    return "\\\\.\\COM" + std::to_string(com);
}

// The trace line of a command message from the port.
bool IsCommandTrace(const std::string& line, const std::string& port, const std::string& text) {
    return HasPrefix(line, "AllSerialWatch: msg: port=" + port + " ") &&
           HasSuffix(line, " type=command line=" + text);
}

} // namespace

TEST(DeviceIoShutdown, PortWaitingForItsRetryIsNotOpenedAgainWhileStopping) {
    auto log = RecordLog();
    const std::string portA = Port(38), portB = Port(39);
    devemu::EmulatedDevice a(Emulator()), b(Emulator());
    a.Plug(38, 0x32B6, 0x0001, "EMU38", Ident, 300);
    b.Plug(39, 0x32B6, 0x0001, "EMU39", IdentB, 300);
    ShiftedClock clock;
    DeviceIoTimings timings = ShortTimings();
    timings.retryWait = 1h;
    timings.now = clock.AsFunction();
    ManagerOnWindow m(timings);
    // When A's read, cancelled by the shutdown, comes back, B's retry wait is
    // long over.
    ScopedLogHook hook([&](const std::string& line) {
        if (HasPrefix(line, portA + ": read Error"))
            clock.Advance(2h);
    });
    ASSERT_TRUE(m.manager->Start());
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, portA));
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, portB));
    m.manager->QueueRequest(DeviceIoRequest::SetLeds(Key, "111"));
    ASSERT_TRUE(a.WaitForLine("<111", 5000ms));

    // B is lost and waits for its retry; opened again, it would identify.
    b.StopIdentity();
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, portB));
    ASSERT_TRUE(PumpUntil([&] { return log->Count("ASW::tick(): Will retry port " + portB) == 1; },
                          5000ms));
    b.SetIdentity(IdentB, 300);
    const size_t opensOfB = log->Count("AllSerialWatch: opening port " + portB);

    // As the program ends: A's LEDs off, then the stop.
    m.manager->QueueRequest(DeviceIoRequest::ClearLeds(Key));
    bool returned = false;
    {
        StopWatchdog stop([&] { m.manager->Stop(); });
        returned = stop.Returned(10000ms);
        if (!returned)
            b.Unplug(); // lets a hung shutdown end
    }
    EXPECT_TRUE(returned) << "Stop hangs";
    EXPECT_EQ(opensOfB, log->Count("AllSerialWatch: opening port " + portB))
        << "a port was opened while the manager was stopping";
    EXPECT_TRUE(a.WaitForLine("<000", 3000ms));
}

TEST(DeviceIoStop, WatchStoppedWhileItsReadCompletesIsReportedClosedAndRetried) {
    auto log = RecordLog();
    const std::string port = Port(33);
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(33, 0x32B6, 0x0001, "EMU33", Ident, 300);
    ManagerOnWindow m;
    std::atomic<bool> stopped{false};
    // Inside the read that carries HOLD the watch is stopped, as the identity
    // time-out stops it: the cancel finds no read in flight.
    ScopedLogHook hook([&](const std::string& line) {
        if (!stopped && IsCommandTrace(line, port, "HOLD")) {
            stopped = true;
            m.manager->FindDevice(Key)->Stop();
        }
    });
    ASSERT_TRUE(m.manager->Start());
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port));
    dev.SendLine("HOLD");
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, port))
        << "the stopped device still shows as connected";
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port, 2)) << "the port was never retried";
    EXPECT_EQ(1u, m.CountOf(DeviceMessageType::Disconnected, port));
    EXPECT_EQ(1u, log->Count("ASW::tick(): Will retry port " + port));
}

TEST(DeviceIoStop, PortRemovedWhileItsReadCompletesIsReportedDisconnected) {
    auto log = RecordLog();
    const std::string port = Port(34);
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(34, 0x32B6, 0x0001, "EMU34", Ident, 300);
    ManagerOnWindow m;
    std::atomic<bool> removed{false};
    // The port watcher reports the port gone while the read that carries HOLD
    // completes.
    ScopedLogHook hook([&](const std::string& line) {
        if (!removed && IsCommandTrace(line, port, "HOLD")) {
            removed = true;
            m.manager->RemovePort(port);
        }
    });
    ASSERT_TRUE(m.manager->Start());
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port));
    dev.SendLine("HOLD");
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, port))
        << "the application never heard of the disconnection";
    ASSERT_TRUE(PumpUntil([&] { return log->Count("ASW::tick(): No retry for port " + port) == 1; },
                          5000ms));
    EXPECT_EQ(1u, m.CountOf(DeviceMessageType::Disconnected, port));
}

TEST(DeviceIoStop, LegacyDeviceFilteredOutWhileItIdentifiesStaysOut) {
    auto log = RecordLog();
    const std::string port = Port(36);
    devemu::EmulatedDevice legacy(Emulator());
    legacy.Plug(36, 0x2341, 0x0042, "EMU36", Ident, 300);
    ManagerOnWindow m;
    // Only the scans this test runs.
    m.manager->PortWatcher().SetScanInterval(3600, false);
    std::atomic<bool> filtered{false};
    // The user turns legacy devices off, and the scan that applies it runs
    // while the device's identity line is being read.
    ScopedLogHook hook([&](const std::string& line) {
        if (!filtered && line == port + ": got first ident") {
            filtered = true;
            m.manager->QueueRequest(DeviceIoRequest::SetLegacySupport(false));
            devio::IOManager& watcher = m.manager->PortWatcher();
            watcher.ClearFilters();
            for (const UsbIdFilter& filter : OwnUsbIds)
                watcher.AddFilter(filter);
            watcher.Scan(boost::system::error_code());
        }
    });
    m.manager->QueueRequest(DeviceIoRequest::SetLegacySupport(true));
    ASSERT_TRUE(m.manager->Start());
    // The tick that drops the stopped watch decides on a retry.
    ASSERT_TRUE(PumpUntil(
        [&] {
            return log->Count("ASW::tick(): No retry for port " + port) +
                       log->Count("ASW::tick(): Will retry port " + port) ==
                   1;
        },
        8000ms));
    m.manager->DispatchIncoming();
    EXPECT_EQ(0u, m.CountOf(DeviceMessageType::Connected, port))
        << "the filtered-out device connected";
    EXPECT_EQ(1u, log->Count("ASW::tick(): No retry for port " + port));
    EXPECT_EQ(0u, log->Count("ASW::tick(): Will retry port " + port));
}

TEST(DeviceIoStop, PortGoneWhileItsDeviceIdentifiesLetsTheReplugIn) {
    auto log = RecordLog();
    const std::string port = Port(37);
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(37, 0x32B6, 0x0001, "EMU37", Ident, 300);
    ManagerOnWindow m;
    devio::IOManager& watcher = m.manager->PortWatcher();
    // Only the scans this test runs.
    watcher.SetScanInterval(3600, false);
    std::atomic<bool> unplugged{false};
    // The device is unplugged, and the scan that sees it gone runs, while its
    // identity line is being read.
    ScopedLogHook hook([&](const std::string& line) {
        if (!unplugged && line == port + ": got first ident") {
            unplugged = true;
            dev.Unplug();
            watcher.Scan(boost::system::error_code());
        }
    });
    ASSERT_TRUE(m.manager->Start());
    // Wait until the manager is done with the removed port: given up, or
    // tried again (and failed, the device being gone).
    ASSERT_TRUE(PumpUntil(
        [&] {
            return log->Count("ASW::tick(): No retry for port " + port) == 1 ||
                   log->CountStartingWith("failed to open serial port " + port) == 1;
        },
        8000ms));
    m.manager->DispatchIncoming();
    const size_t connects = m.CountOf(DeviceMessageType::Connected, port);
    EXPECT_EQ(0u, connects) << "the unplugged device connected";
    EXPECT_EQ(0u, log->Count("ASW::tick(): Will retry port " + port));

    // Plugged again, with the port watcher scanning again: it connects.
    boost::asio::post(watcher.ioContext, [&] { watcher.SetScanInterval(1, true); });
    dev.Plug(37, 0x32B6, 0x0001, "EMU37", Ident, 300);
    EXPECT_TRUE(m.WaitFor(DeviceMessageType::Connected, port, connects + 1))
        << "the replugged device was kept out";
}
