#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "DeviceTestSupport.h"
#include "EmulatedDevice.h"
#include "device_io/DeviceIOManager.h"

using namespace std::chrono_literals;

namespace {

const std::string Ident = "####Brackenfold#M1#7#1.2#0A";
const std::string Key = "7M10A";

} // namespace

TEST(DeviceIOManagerEndToEnd, ConnectCommandsHostLinesAndUnplug) {
    auto log = RecordLog();
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(33, 0x32B6, 0x0001, "EMU33", Ident, 300);
    ManagerOnWindow m;
    ASSERT_TRUE(m.manager->Start());
    EXPECT_FALSE(m.manager->Start());
    const std::string port = "\\\\.\\COM33";
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port));
    EXPECT_EQ(Key, m.messages[0].key);
    EXPECT_EQ("M1", m.messages[0].model);
    EXPECT_EQ("1.2", m.messages[0].version);

    dev.SendLine("BTN_1=1");
    dev.SendLine("BTN_1=0");
    dev.SendLine("ENC_A=-1");
    dev.SendOverlongLine(3000, 'x');
    dev.SendLine("POT_1=512");
    ASSERT_TRUE(PumpUntil([&] { return m.Commands(port).size() >= 4; }, 5000ms));
    EXPECT_EQ((std::vector<std::string>{"BTN_1=1", "BTN_1=0", "ENC_A=-1", "POT_1=512"}),
              m.Commands(port));

    dev.ClearReceived();
    m.manager->QueueRequest(DeviceIoRequest::SendReady(Key));
    m.manager->QueueRequest(DeviceIoRequest::SetLeds(Key, "10101"));
    m.manager->QueueRequest(DeviceIoRequest::SetLeds(Key, "011"));
    m.manager->QueueRequest(DeviceIoRequest::ClearLeds(Key));
    m.manager->QueueRequest(DeviceIoRequest::SetValue(Key, "ROLL", 0.5f));
    m.manager->QueueRequest(DeviceIoRequest::SetValue(Key, "PITCH", 2.0f));
    m.manager->QueueRequest(DeviceIoRequest::Recalibrate(Key));
    m.manager->QueueRequest(DeviceIoRequest::SetLeds("9NOBODY", "1")); // dropped
    // Requests run in queue order: once the last line is there, so is all
    // that comes before it.
    m.manager->QueueRequest(DeviceIoRequest::SendReady(Key));
    ASSERT_TRUE(dev.WaitForLineCount(8, 5000ms));
    EXPECT_EQ(
        (std::vector<std::string>{"|", "<10101", "<011", "<00000", "ROLL0.5", "PITCH2", "!c", "|"}),
        dev.ReceivedLines());

    dev.Unplug();
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, port));
    const DeviceIncomingMessage& gone = m.messages.back();
    EXPECT_EQ(DeviceMessageType::Disconnected, gone.type);
    EXPECT_EQ(Key, gone.key);
    // Plugged again: a fresh record, opened and connected again.
    dev.Plug(33, 0x32B6, 0x0001, "EMU33", Ident, 300);
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port, 2));
    EXPECT_GE(log->Count("AllSerialWatch: opening port \\\\.\\COM33"), 2u);
}

TEST(DeviceIOManagerEndToEnd, RetriesAfterALostIdentityAndGivesUpOnSilentDevices) {
    auto log = RecordLog();
    devemu::EmulatedDevice flaky(Emulator()), silent(Emulator());
    flaky.Plug(34, 0x32B6, 0x0001, "EMU34", Ident, 300);
    silent.Plug(35, 0x32B6, 0x0002, "EMU35", "", 0);
    ManagerOnWindow m;
    ASSERT_TRUE(m.manager->Start());
    const std::string port = "\\\\.\\COM34";
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port));
    // The identity stops: disconnected; then the port is retried after the
    // wait and the device, identifying again, connects again.
    flaky.StopIdentity();
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, port));
    flaky.SetIdentity(Ident, 300);
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port, 2));
    EXPECT_EQ(1u, log->Count("ASW::tick(): Will retry port \\\\.\\COM34"));

    // A device that never identifies is opened five times in all: when its
    // fifth watch is dropped, no retry is left, so none is queued.
    const std::string silentPort = "\\\\.\\COM35";
    ASSERT_TRUE(PumpUntil(
        [&] { return log->Count("ASW::tick(): Removing port " + silentPort) == 5; }, 30000ms));
    m.manager->DispatchIncoming();
    EXPECT_EQ(4u, log->Count("ASW::tick(): Will retry port " + silentPort));
    EXPECT_EQ(5u, log->Count("AllSerialWatch: opening port " + silentPort));
    EXPECT_EQ(5, HostOpens(silent));
    EXPECT_EQ(5u, m.CountOf(DeviceMessageType::Disconnected, silentPort));
    EXPECT_EQ(0u, m.CountOf(DeviceMessageType::Connected, silentPort));
}

TEST(DeviceIOManagerEndToEnd, LegacyFilterSwitchedAtRunTime) {
    devemu::EmulatedDevice legacy(Emulator()), unknown(Emulator()), own(Emulator());
    legacy.Plug(36, 0x2341, 0x0042, "EMU36", Ident, 300);
    unknown.Plug(37, 0x2341, 0x0043, "EMU37", Ident, 300);
    own.Plug(38, 0x32B6, 0x0005, "EMU38", "####Brackenfold#M2#8#1.0#0B", 300);
    ManagerOnWindow m;
    ASSERT_TRUE(m.manager->Start());
    // The scan that found the own device has seen the other two as well.
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM38"));
    EXPECT_EQ(0, HostOpens(legacy));
    m.manager->QueueRequest(DeviceIoRequest::SetLegacySupport(true));
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM36"));
    m.manager->QueueRequest(DeviceIoRequest::SetLegacySupport(false));
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, "\\\\.\\COM36"));
    EXPECT_EQ(0, HostOpens(unknown));
}

TEST(DeviceIOManagerEndToEnd, ShutdownWritesTheLedsOffLines) {
    devemu::EmulatedDevice a(Emulator()), b(Emulator());
    a.Plug(38, 0x32B6, 0x0001, "EMU38", Ident, 300);
    b.Plug(39, 0x32B6, 0x0001, "EMU39", "####Brackenfold#M2#8#1.0#0B", 300);
    {
        ManagerOnWindow m;
        ASSERT_TRUE(m.manager->Start());
        ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM38"));
        ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM39"));
        m.manager->QueueRequest(DeviceIoRequest::SetLeds(Key, "111"));
        m.manager->QueueRequest(DeviceIoRequest::SetLeds("8M20B", "1111"));
        ASSERT_TRUE(a.WaitForLine("<111", 3000ms));
        ASSERT_TRUE(b.WaitForLine("<1111", 3000ms));
        // As the program does at exit: LEDs off for every device, then stop
        // with the devices still attached.
        m.manager->QueueRequest(DeviceIoRequest::ClearLeds(Key));
        m.manager->QueueRequest(DeviceIoRequest::ClearLeds("8M20B"));
        StopWatchdog stop([&] { m.manager->Stop(); });
        EXPECT_TRUE(stop.Returned(10000ms)) << "Stop hangs";
    }
    EXPECT_TRUE(a.WaitForLine("<000", 3000ms));
    EXPECT_TRUE(b.WaitForLine("<0000", 3000ms));
    EXPECT_TRUE(a.WaitForHostOpen(false, 3000ms));
}

TEST(DeviceIOManagerEndToEnd, StopWithoutStartAndEmptyDispatch) {
    auto log = RecordLog();
    int calls = 0;
    {
        DeviceIOManager m([&](const DeviceIncomingMessage&) { ++calls; });
        m.DispatchIncoming();
        m.Stop();
        EXPECT_TRUE(log->Lines().empty());
        // With no thread running, this thread may stand in for the I/O thread.
        m.SendToDevice("7M10A", "<1\n");
        m.ReconcileError("\\\\.\\COM20");
        EXPECT_FALSE(m.IsPresent("\\\\.\\COM20"));
    }
    EXPECT_EQ(0, calls);
    EXPECT_EQ(
        (std::vector<std::string>{
            "ASW:write to 7M10A", "AllSerialWatch: cannot deliver msg to unknown id 7M10A: <1\n",
            "Error reported on port \\\\.\\COM20, but no open port found to reconcile it with",
            "AllSerialWatch: stopped"}),
        log->Lines());
}

TEST(DeviceIOManagerEndToEnd, FailedScanIsLoggedAndTheScanGoesOn) {
    auto log = RecordLog();
    std::atomic<int> scans{0};
    DeviceIOManager m([](const DeviceIncomingMessage&) {});
    m.PortWatcher().SetEnumerator([&]() -> std::deque<enumerate::SerialPort> {
        int scan = ++scans;
        if (scan == 1)
            throw std::runtime_error("enumeration broke");
        if (scan == 2)
            throw 7; // not a std::exception
        return {};
    });
    ASSERT_TRUE(m.Start());
    EXPECT_TRUE(WaitUntil([&] { return scans >= 4; }, 10000ms));
    m.Stop();
    EXPECT_EQ(1u, log->Count("AllSerialWatch: error on the I/O thread: enumeration broke"));
    EXPECT_EQ(1u, log->Count("AllSerialWatch: error on the I/O thread: unknown exception"));
}

TEST(DeviceIOManagerEndToEnd, PortGoneDuringRetryWaitIsAbandoned) {
    auto log = RecordLog();
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(34, 0x32B6, 0x0001, "EMU34", Ident, 300);
    // The retry wait does not end while the test runs.
    ShiftedClock clock;
    DeviceIoTimings timings = ShortTimings();
    timings.retryWait = 1h;
    timings.now = clock.AsFunction();
    ManagerOnWindow m(timings);
    ASSERT_TRUE(m.manager->Start());
    const std::string port = "\\\\.\\COM34";
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port));
    dev.StopIdentity();
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, port));
    ASSERT_TRUE(PumpUntil(
        [&] { return log->Count("ASW::tick(): Will retry port \\\\.\\COM34") == 1; }, 5000ms));
    dev.Unplug();
    EXPECT_TRUE(PumpUntil(
        [&] { return log->Count("ASW::tick(): Abandoning closed port \\\\.\\COM34") == 1; },
        8000ms));
    // One disconnection, one message.
    EXPECT_EQ(1u, m.CountOf(DeviceMessageType::Disconnected, port));
}

namespace {

// Timings under which nothing happens on its own for minutes: an identified
// device stays connected, and after the first scan the ports are not scanned
// again. Whatever the I/O thread does then, something had to wake it.
DeviceIoTimings QuietTimings() {
    DeviceIoTimings t;
    t.idTimeout = 10min;
    return t;
}

void StopScanning(ManagerOnWindow& m) {
    m.manager->PortWatcher().SetScanInterval(3600, false);
}

// Plugs a device whose identity line comes once a minute, starts the manager
// without rescans, waits for the connection and lets the I/O thread fall
// asleep: from then on only what the test does wakes it.
bool ConnectAndSleep(devemu::EmulatedDevice& dev, ManagerOnWindow& m, int com) {
    dev.Plug(com, 0x32B6, 0x0001, "EMU" + std::to_string(com), Ident, 60000);
    StopScanning(m);
    if (!m.manager->Start() ||
        !m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM" + std::to_string(com)))
        return false;
    PumpUntil([] { return false; }, 300ms);
    return true;
}

} // namespace

TEST(DeviceIoThread, RequestsQueuedFromSeveralThreadsAreWrittenInQueueOrder) {
    devemu::EmulatedDevice a(Emulator()), b(Emulator());
    a.Plug(40, 0x32B6, 0x0001, "EMU40", Ident, 300);
    b.Plug(41, 0x32B6, 0x0001, "EMU41", "####Brackenfold#M2#8#1.0#0B", 300);
    ManagerOnWindow m;
    ASSERT_TRUE(m.manager->Start());
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM40"));
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, "\\\\.\\COM41"));

    // Each request is numbered and queued under one lock, so the numbers give
    // the queue order; even numbers go to one device, odd ones to the other.
    const int threadCount = 4;
    const int perThread = 50;
    std::mutex queueOrder;
    int next = 0;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < perThread; ++i) {
                std::lock_guard<std::mutex> lock(queueOrder);
                int n = next++;
                m.manager->QueueRequest(DeviceIoRequest::SetValue(n % 2 == 0 ? Key : "8M20B", "N",
                                                                  static_cast<float>(n)));
            }
        });
    }
    go = true;
    for (std::thread& t : threads)
        t.join();

    std::vector<std::string> evens, odds;
    for (int n = 0; n < threadCount * perThread; ++n)
        (n % 2 == 0 ? evens : odds).push_back("N" + std::to_string(n));
    ASSERT_TRUE(a.WaitForLineCount(evens.size(), 10000ms));
    ASSERT_TRUE(b.WaitForLineCount(odds.size(), 10000ms));
    EXPECT_EQ(evens, a.ReceivedLines());
    EXPECT_EQ(odds, b.ReceivedLines());
}

TEST(DeviceIoThread, RequestQueuedOnAnIdleManagerIsWritten) {
    devemu::EmulatedDevice dev(Emulator());
    ManagerOnWindow m(QuietTimings());
    ASSERT_TRUE(ConnectAndSleep(dev, m, 42));
    m.manager->QueueRequest(DeviceIoRequest::SetLeds(Key, "101"));
    EXPECT_TRUE(dev.WaitForLine("<101", 10000ms));
}

TEST(DeviceIoThread, StopOfAnIdleManagerWritesTheLedsOffLines) {
    devemu::EmulatedDevice dev(Emulator());
    {
        ManagerOnWindow m(QuietTimings());
        ASSERT_TRUE(ConnectAndSleep(dev, m, 43));
        m.manager->QueueRequest(DeviceIoRequest::SetLeds(Key, "1111"));
        ASSERT_TRUE(dev.WaitForLine("<1111", 10000ms));
        PumpUntil([] { return false; }, 300ms);

        m.manager->QueueRequest(DeviceIoRequest::ClearLeds(Key));
        m.manager->Stop();
    }
    EXPECT_TRUE(dev.WaitForLine("<0000", 3000ms));
    EXPECT_TRUE(dev.WaitForHostOpen(false, 3000ms));
}

TEST(DeviceIoThread, StopEndsASleepingThreadWithoutWaitingForTraffic) {
    devemu::EmulatedDevice dev(Emulator());
    ManagerOnWindow m(QuietTimings());
    ASSERT_TRUE(ConnectAndSleep(dev, m, 45));
    // Left to itself the thread would next wake for the identity line a
    // minute from now.
    {
        StopWatchdog stop([&] { m.manager->Stop(); });
        EXPECT_TRUE(stop.Returned(10000ms)) << "Stop waits for the device";
    }
    EXPECT_TRUE(dev.WaitForHostOpen(false, 3000ms));
}

TEST(DeviceIoThread, LostPortIsReopenedAfterTheRetryWaitWithNothingElseGoingOn) {
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(44, 0x32B6, 0x0001, "EMU44", Ident, 300);
    ManagerOnWindow m; // identity time-out 1 s, retry wait 300 ms
    StopScanning(m);
    ASSERT_TRUE(m.manager->Start());
    const std::string port = "\\\\.\\COM44";
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port));
    dev.StopIdentity();
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Disconnected, port));
    // The port now waits out its retry wait; no scan and no device line comes
    // to wake the thread.
    dev.SetIdentity(Ident, 60000);
    ASSERT_TRUE(m.WaitFor(DeviceMessageType::Connected, port, 2));
    EXPECT_EQ(2, HostOpens(dev));
}
