#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "DeviceTestSupport.h"
#include "EmulatedDevice.h"
#include "UsbRegistry.h"
#include "device_io/IOManager.h"
#include "device_io/LinewiseSerialDevice.h"
#include "device_io/SerialPortEnumeration.h"
#include "device_io/SerialWatch.h"
#include "device_io/Win32SerialPort.h"

using namespace std::chrono_literals;
using enumerate::HardwareId;
using enumerate::SerialPort;

namespace {

const std::string Ident = "####Brackenfold#M1#7#1.2#0A";

std::vector<SerialPort> ListedAs(const std::string& name) {
    std::vector<SerialPort> found;
    for (const SerialPort& p : enumerate::EnumerateSerialPorts())
        if (p.name == name)
            found.push_back(p);
    return found;
}

void RunFor(devio::IOManager& io, std::chrono::milliseconds time) {
    io.ioContext.restart();
    io.ioContext.run_for(time);
}

// Runs the context until it runs out of work: with the scan interval 0, the
// moment the scan asked for has been compared and reported.
void RunScan(devio::IOManager& io) {
    io.ioContext.restart();
    io.ioContext.run();
}

} // namespace

TEST(Enumeration, ListsUsbSerialPortsOnly) {
    devemu::EmulatedDevice plugged(Emulator());
    plugged.Plug(20, 0x32B6, 0x0001, "EMU20", "", 0);
    auto ports = ListedAs("\\\\.\\COM20");
    ASSERT_EQ(1u, ports.size());
    EXPECT_EQ(HardwareId(0x32B6, 0x0001), ports[0].hardwareId);

    // Registry-only entries with other forms.
    devemu::UsbRegistryEntry single = devemu::MakeUsbSerialEntry(21, 0x2341, 0x0042, L"EMU21");
    single.hardwareIdAsMultiString = false;
    single.hardwareIds = {L"USB\\VID_2341&PID_0042&MI_00"};
    devemu::UsbRegistryEntry lpt = devemu::MakeUsbSerialEntry(22, 0x32B6, 0x0002, L"EMU22");
    lpt.portName = L"LPT1";
    devemu::UsbRegistryEntry acpi = devemu::MakeUsbSerialEntry(23, 0x32B6, 0x0003, L"EMU23");
    acpi.hardwareIds = {L"ACPI\\PNP0501"};
    devemu::UsbRegistryEntry twin = devemu::MakeUsbSerialEntry(20, 0x32B6, 0x0004, L"EMU20B");
    for (auto* e : {&single, &lpt, &acpi, &twin})
        devemu::RegisterDevice(*e);

    ports = ListedAs("\\\\.\\COM21");
    ASSERT_EQ(1u, ports.size());
    EXPECT_EQ(HardwareId(0x2341, 0x0042, 0), ports[0].hardwareId);
    EXPECT_TRUE(ListedAs("\\\\.\\LPT1").empty());
    EXPECT_TRUE(ListedAs("\\\\.\\COM23").empty());
    // Two devices on one port name both appear.
    EXPECT_EQ(2u, ListedAs("\\\\.\\COM20").size());

    // A PortName stored without its terminating NUL still names its port.
    devemu::UsbRegistryEntry bare = devemu::MakeUsbSerialEntry(24, 0x32B6, 0x0005, L"EMU24");
    devemu::RegisterDevice(bare);
    {
        std::wstring path = L"System\\CurrentControlSet\\Enum\\USB\\" + bare.deviceId + L"\\" +
                            bare.instance + L"\\Device Parameters";
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "PortName", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>("COM24XYZ"), 5));
        RegCloseKey(key);
    }
    ports = ListedAs("\\\\.\\COM24");
    ASSERT_EQ(1u, ports.size());
    EXPECT_EQ(HardwareId(0x32B6, 0x0005), ports[0].hardwareId);

    for (auto* e : {&single, &lpt, &acpi, &twin, &bare})
        devemu::UnregisterDevice(*e);
    plugged.Unplug();
    EXPECT_TRUE(ListedAs("\\\\.\\COM20").empty());
}

TEST(Enumeration, ScanReportsPluggedDevicesInNameOrder) {
    devio::IOManager io;
    io.SetScanInterval(0, false);
    io.AddFilter(UsbIdFilter(0x32B6, -1));
    std::vector<std::string> events;
    io.portArrived = [&](const SerialPort& p) {
        if (p.name >= "\\\\.\\COM24" && p.name <= "\\\\.\\COM26")
            events.push_back("+" + p.name);
    };
    io.portRemoved = [&](const SerialPort& p) {
        if (p.name >= "\\\\.\\COM24" && p.name <= "\\\\.\\COM26")
            events.push_back("-" + p.name);
    };
    devemu::EmulatedDevice b(Emulator()), a(Emulator()), other(Emulator());
    b.Plug(25, 0x32B6, 0x0002, "EMU25", "", 0);
    a.Plug(24, 0x32B6, 0x0001, "EMU24", "", 0);
    other.Plug(26, 0x2341, 0x0042, "EMU26", "", 0);
    RunScan(io);
    EXPECT_EQ((std::vector<std::string>{"+\\\\.\\COM24", "+\\\\.\\COM25"}), events);
    events.clear();
    a.Unplug();
    io.RescanNow();
    RunScan(io);
    EXPECT_EQ((std::vector<std::string>{"-\\\\.\\COM24"}), events);
}

namespace {

// Counts the bytes of every read before it cuts them into lines.
class CountingLineDevice : public LinewiseSerialDevice {
public:
    using LinewiseSerialDevice::LinewiseSerialDevice;
    void OnData(const uint8_t* data, size_t count) override {
        bytesRead += count;
        LinewiseSerialDevice::OnData(data, count);
    }
    size_t bytesRead = 0;
};

struct LineReader {
    devio::IOManager io;
    std::vector<std::string> lines;
    std::vector<boost::system::error_code> errors;
    std::unique_ptr<CountingLineDevice> device;

    explicit LineReader(const std::string& path) {
        io.SetScanInterval(0, false);
        io.SetEnumerator([] { return std::deque<SerialPort>(); });
        device = std::make_unique<CountingLineDevice>(
            io, path, 115200, [this](const std::string& l) { lines.push_back(l); },
            [this](const boost::system::error_code& e) { errors.push_back(e); }, &IsLineEnd);
        device->Start();
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < end)
            RunFor(io, 20ms);
        return done();
    }

    bool RunUntilLines(size_t count) {
        return RunUntil([&] { return lines.size() >= count; });
    }

    // Until the host has read this many bytes in all: what is sent next
    // comes in a read of its own.
    bool RunUntilRead(size_t bytes) {
        return RunUntil([&] { return device->bytesRead >= bytes; });
    }
};

} // namespace

TEST(LineSplitting, RealPortLineEndsSplitsAndLimits) {
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(27, 0x32B6, 0x0001, "EMU27", "", 0);
    LineReader r("\\\\.\\COM27");
    ASSERT_TRUE(dev.WaitForHostOpen(true, 3000ms));

    size_t sent = 0;
    auto send = [&](const std::string& bytes) {
        dev.SendRaw(bytes);
        sent += bytes.size();
    };
    send("A\r\nB\n\r\n\r\n");
    ASSERT_TRUE(r.RunUntilLines(2));
    ASSERT_TRUE(r.RunUntilRead(sent));
    // A line split across reads, and a line end split across reads.
    send("X");
    ASSERT_TRUE(r.RunUntilRead(sent));
    send("Y\r");
    ASSERT_TRUE(r.RunUntilRead(sent));
    send("\nZ\n");
    ASSERT_TRUE(r.RunUntilLines(4));
    dev.SendLine(std::string(2047, 'a'));
    dev.SendOverlongLine(2048, 'b');
    dev.SendOverlongLine(5000, 'c');
    dev.SendOverlongLine(4096, 'd');
    dev.SendLine("AFTER");
    sent += 2048 + 2049 + 5001 + 4097 + 6;
    // Every byte read: no line is still to come.
    ASSERT_TRUE(r.RunUntilRead(sent));
    ASSERT_EQ(6u, r.lines.size());
    EXPECT_EQ("A", r.lines[0]);
    EXPECT_EQ("B", r.lines[1]);
    EXPECT_EQ("XY", r.lines[2]);
    EXPECT_EQ("Z", r.lines[3]);
    EXPECT_EQ(std::string(2047, 'a'), r.lines[4]);
    // The lines of 2048 bytes and more are dropped whole, never in part.
    EXPECT_EQ("AFTER", r.lines[5]);

    // Stopping cancels the pending read: the device goes idle with one error.
    r.device->Stop();
    ASSERT_TRUE(r.RunUntil([&] { return !r.device->IsReading(); }));
    EXPECT_EQ(1u, r.errors.size());
}

TEST(LineSplitting, UnplugEndsTheReadWithAnError) {
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(28, 0x32B6, 0x0001, "EMU28", "", 0);
    // The read is in flight from the start.
    LineReader r("\\\\.\\COM28");
    dev.Unplug();
    ASSERT_TRUE(r.RunUntil([&] { return !r.device->IsReading(); }));
    EXPECT_EQ(1u, r.errors.size());
    EXPECT_TRUE(r.device->HasFailed());
}

namespace {

struct WatchOnPort {
    devio::IOManager io;
    std::vector<DeviceIncomingMessage> messages;
    // Called with each message, inside the completion that produced it.
    std::function<void(const DeviceIncomingMessage&)> onMessage;
    std::shared_ptr<SerialWatch> watch;

    WatchOnPort(const std::string& path, std::chrono::milliseconds idTimeout) {
        io.SetScanInterval(0, false);
        io.SetEnumerator([] { return std::deque<SerialPort>(); });
        watch = std::make_shared<SerialWatch>(
            io, path,
            [this](const DeviceIncomingMessage& m) {
                messages.push_back(m);
                if (onMessage)
                    onMessage(m);
            },
            [](SerialWatch* w) { w->DeliverPendingConnect(); }, idTimeout);
    }

    size_t CountOf(DeviceMessageType type) const {
        size_t n = 0;
        for (const auto& m : messages)
            if (m.type == type)
                ++n;
        return n;
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < end)
            RunFor(io, 20ms);
        return done();
    }
};

} // namespace

TEST(IdentityTimeout, SilentDeviceAndDeviceThatStopsIdentifying) {
    auto log = RecordLog();
    devemu::EmulatedDevice silent(Emulator()), stops(Emulator());
    silent.Plug(29, 0x32B6, 0x0001, "EMU29", "", 0);
    stops.Plug(30, 0x32B6, 0x0001, "EMU30", Ident, 200);

    WatchOnPort a("\\\\.\\COM29", 800ms);
    silent.SendLine("BTN_1=1"); // before identification: ignored
    ASSERT_TRUE(a.RunUntil([&] { return !a.messages.empty(); }, 5000ms));
    ASSERT_EQ(1u, a.messages.size());
    EXPECT_EQ(DeviceMessageType::Disconnected, a.messages[0].type);
    EXPECT_EQ(-1, a.messages[0].id);
    EXPECT_EQ("\\\\.\\COM29", a.messages[0].port);
    EXPECT_EQ(WatchState::Failed, a.watch->State());
    EXPECT_EQ(1u, log->Count("\\\\.\\COM29: Timed out without waiting for device ID string"));
    EXPECT_TRUE(a.RunUntil([&] { return !a.watch->IsActive(); }, 5000ms));

    // Identity lines every 200 ms, at least, against a time-out of 2 s.
    WatchOnPort b("\\\\.\\COM30", 2000ms);
    ASSERT_TRUE(b.RunUntil([&] { return !b.messages.empty(); }, 5000ms));
    EXPECT_EQ(DeviceMessageType::Connected, b.messages[0].type);
    EXPECT_EQ("7M10A", b.messages[0].key);
    stops.SendLine("BTN_1=1");
    ASSERT_TRUE(b.RunUntil([&] { return b.messages.size() >= 2; }, 5000ms));
    EXPECT_EQ("BTN_1=1", b.messages[1].line);
    // Still identifying: no time-out while the line keeps coming. Thirteen
    // identity lines span at least 2.4 s, longer than the time-out.
    const std::string identified = "\\\\.\\COM30: identified as M1";
    ASSERT_TRUE(b.RunUntil([&] { return log->Count(identified) >= 13; }, 20000ms));
    EXPECT_EQ(2u, b.messages.size());
    stops.StopIdentity();
    ASSERT_TRUE(b.RunUntil([&] { return b.messages.size() >= 3; }, 8000ms));
    EXPECT_EQ(DeviceMessageType::Disconnected, b.messages[2].type);
    EXPECT_EQ("7M10A", b.messages[2].key);
    EXPECT_EQ(WatchState::Failed, b.watch->State());
}

TEST(WatchStop, StopFromInsideTheReadOfALineEndsInOneDisconnection) {
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(31, 0x32B6, 0x0001, "EMU31", Ident, 200);
    WatchOnPort w("\\\\.\\COM31", std::chrono::minutes(10));
    // Stopped while the read that carries HOLD completes: the cancel finds no
    // read in flight.
    w.onMessage = [&](const DeviceIncomingMessage& m) {
        if (m.type == DeviceMessageType::Command && m.line == "HOLD")
            w.watch->Stop();
    };
    ASSERT_TRUE(w.RunUntil([&] { return w.CountOf(DeviceMessageType::Connected) == 1; }, 5000ms));
    dev.SendLine("HOLD");
    ASSERT_TRUE(w.RunUntil([&] { return w.CountOf(DeviceMessageType::Disconnected) == 1; }, 5000ms))
        << "the stop was never reported";
    ASSERT_TRUE(w.RunUntil([&] { return !w.watch->IsActive(); }, 5000ms));
    EXPECT_EQ(1u, w.CountOf(DeviceMessageType::Disconnected));
    EXPECT_EQ(WatchState::Failed, w.watch->State());
}

TEST(BlockingSerialPort, ReadLineWriteTimeoutAndCancel) {
    auto log = RecordLog();
    devemu::EmulatedDevice dev(Emulator());
    dev.Plug(32, 0x32B6, 0x0001, "EMU32", "", 0);
    {
        Win32SerialPort port("COM32", 115200, 300, 4);
        EXPECT_THROW(port.ReadByte(), serial_timeout);
        dev.SendRaw("AB\r\n");
        EXPECT_EQ("AB\r", port.ReadLine());
        dev.SendRaw("ABCDE\n");
        EXPECT_THROW(port.ReadLine(), serial_timeout);
        EXPECT_EQ('E', port.ReadByte());
        EXPECT_EQ('\n', port.ReadByte());
        EXPECT_EQ(6u, port.Write("hello\n"));
        EXPECT_TRUE(dev.WaitForLine("hello", 3000ms));
        port.CancelIo();
        EXPECT_EQ(1u, log->Count("COM32: no I/O to cancel"));
    }
    EXPECT_EQ(1u, log->Count("COM32: port closed"));

    // A read of 10 s cancelled from another thread, which cancels as fast as
    // it can until a cancel takes effect. A cancel before the read is issued
    // rightly finds no I/O to cancel; the first that finds it issued ends it at
    // once, long before its time-out, and is the only one that says so. The
    // canceller's lines are counted by a hook, not recorded: recording them
    // would slow it down and make it miss the moment the read begins.
    Win32SerialPort slow("COM32", 115200, 10000, 64);
    gLogger->SetTargetLevel("record", BKFLog::LevelInfo);
    std::atomic<int> idleCancels{0};
    std::atomic<int> cancels{0};
    std::atomic<int> failedCancels{0};
    std::atomic<bool> readEnded{false};
    ScopedLogHook hook([&](const std::string& line) {
        if (line == "COM32: no I/O to cancel")
            ++idleCancels;
        else if (line == "COM32: I/O cancelled")
            ++cancels;
        else if (HasPrefix(line, "CancelIoEx failed: "))
            ++failedCancels;
    });
    std::thread canceller([&] {
        while (cancels == 0 && !readEnded)
            slow.CancelIo();
    });
    // The read begins while the canceller is cancelling.
    ASSERT_TRUE(WaitUntil([&] { return idleCancels > 0; }, 5000ms));
    try {
        slow.ReadByte();
        ADD_FAILURE() << "the read was not cancelled";
    } catch (const serial_error& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("ReadFile failed: "));
        EXPECT_EQ("COM32", e.port());
    } catch (const serial_timeout&) {
        ADD_FAILURE() << "the read ran to its time-out: the cancel missed it";
    }
    readEnded = true;
    canceller.join();
    EXPECT_EQ(1, cancels.load());
    EXPECT_EQ(0, failedCancels.load()) << "a cancel found the read marked but not issued";
    gLogger->SetTargetLevel("record", BKFLog::LevelTrace);

    try {
        Win32SerialPort missing("COM39", 115200, 100, 8);
        ADD_FAILURE() << "opened a missing port";
    } catch (const serial_error& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("CreateFile failed on \\\\.\\COM39: "));
    }
    EXPECT_NO_THROW(ListSerialCommPorts());
}
