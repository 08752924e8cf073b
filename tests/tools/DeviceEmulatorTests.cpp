// The device emulator seen from Windows: SetupAPI listing, the COM port and
// the line traffic in both directions.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EmulatedDevice.h"
#include "TestSerialPort.h"

using namespace std::chrono_literals;

namespace {

const std::string kIdentity = "####Brackenfold#M1#7#1.2#0A";

struct ListedDevice {
    std::wstring instanceId;
    DWORD hardwareIdType = 0;
    std::vector<std::wstring> hardwareIds;
    std::wstring portName;
};

// The listing the program does: present devices of one enumerator across all
// classes, their hardware ids and the PortName of their device key.
std::vector<ListedDevice> ListDevices(const wchar_t* enumerator) {
    std::vector<ListedDevice> result;
    HDEVINFO set =
        SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return result;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        ListedDevice device;
        wchar_t id[512] = {};
        SetupDiGetDeviceInstanceIdW(set, &info, id, 512, nullptr);
        device.instanceId = id;
        wchar_t buffer[512] = {};
        DWORD size = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_HARDWAREID, &device.hardwareIdType,
                                              reinterpret_cast<BYTE*>(buffer), sizeof buffer - 4,
                                              &size)) {
            for (const wchar_t* p = buffer; *p && p < buffer + size / sizeof(wchar_t);
                 p += wcslen(p) + 1) {
                device.hardwareIds.push_back(p);
                if (device.hardwareIdType != REG_MULTI_SZ)
                    break;
            }
        }
        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            wchar_t port[256] = {};
            DWORD type = 0, portSize = sizeof port - sizeof(wchar_t);
            if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                                 &portSize) == ERROR_SUCCESS) {
                device.portName = port;
            }
            RegCloseKey(key);
        }
        result.push_back(device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

const ListedDevice* Find(const std::vector<ListedDevice>& devices, const std::wstring& instance) {
    for (const ListedDevice& device : devices) {
        if (_wcsicmp(device.instanceId.c_str(), instance.c_str()) == 0)
            return &device;
    }
    return nullptr;
}

class DeviceEmulatorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { emulator_ = new devemu::DeviceEmulator(); }
    static void TearDownTestSuite() {
        delete emulator_;
        emulator_ = nullptr;
    }
    static devemu::DeviceEmulator* emulator_;
};

devemu::DeviceEmulator* DeviceEmulatorTest::emulator_ = nullptr;

TEST_F(DeviceEmulatorTest, PlugRegistersForSetupApiAndUnplugRemovesIt) {
    devemu::EmulatedDevice device(*emulator_);
    device.Plug(10, 0x32B6, 0x0001, "EMU10", kIdentity, 1000);

    const std::vector<ListedDevice> listed = ListDevices(L"USB");
    const ListedDevice* found = Find(listed, L"USB\\VID_32B6&PID_0001\\EMU10");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->hardwareIdType, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(found->hardwareIds, (std::vector<std::wstring>{L"USB\\VID_32B6&PID_0001&REV_0100",
                                                             L"USB\\VID_32B6&PID_0001"}));
    EXPECT_EQ(found->portName, L"COM10");
    EXPECT_EQ(Find(ListDevices(L"Ports"), L"USB\\VID_32B6&PID_0001\\EMU10"), nullptr);

    device.Unplug();
    EXPECT_EQ(Find(ListDevices(L"USB"), L"USB\\VID_32B6&PID_0001\\EMU10"), nullptr);
    TestSerialPort port(L"\\\\.\\COM10");
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(DeviceEmulatorTest, CustomRegistryEntryAsSingleString) {
    devemu::PlugOptions options;
    options.comNumber = 11;
    options.registryEntry.deviceId = L"VID_2341&PID_0042&MI_00";
    options.registryEntry.instance = L"EMU11";
    options.registryEntry.hardwareIds = {L"USB\\VID_2341&PID_0042&MI_00"};
    options.registryEntry.hardwareIdAsMultiString = false;
    options.registryEntry.portName = L"COM11";
    devemu::EmulatedDevice device(*emulator_);
    device.Plug(options);

    const std::vector<ListedDevice> listed = ListDevices(L"USB");
    const ListedDevice* found = Find(listed, L"USB\\VID_2341&PID_0042&MI_00\\EMU11");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->hardwareIdType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(found->hardwareIds, std::vector<std::wstring>{L"USB\\VID_2341&PID_0042&MI_00"});
    EXPECT_EQ(found->portName, L"COM11");
}

TEST_F(DeviceEmulatorTest, LinesTravelBothWaysOverTheComPort) {
    devemu::EmulatedDevice device(*emulator_);
    device.Plug(12, 0x32B6, 0x0002, "EMU12", kIdentity, 300);

    TestSerialPort port(device.DevicePath());
    ASSERT_TRUE(port.IsOpen()) << port.OpenError();
    ASSERT_TRUE(port.Configure());
    EXPECT_TRUE(device.WaitForHostOpen(true, 2s));

    // The identity line comes soon after the open and then at its interval.
    EXPECT_EQ(port.ReadLine(2000), kIdentity);
    EXPECT_EQ(port.ReadLine(2000), kIdentity);

    device.StopIdentity();
    port.ReadLine(400); // one may have been on its way
    device.SendLine("BTN_1=1");
    EXPECT_EQ(port.ReadLine(2000), "BTN_1=1");
    device.SendRaw(std::string("A\r\nB\x01\n", 7));
    std::string raw;
    ASSERT_TRUE(port.Read(raw, 7, 2000));
    EXPECT_EQ(raw, std::string("A\r\nB\x01\n", 7));

    device.SendOverlongLine(3000, 'Q');
    std::string longLine;
    ASSERT_TRUE(port.Read(longLine, 3001, 3000));
    EXPECT_EQ(longLine, std::string(3000, 'Q') + "\n");

    ASSERT_TRUE(port.Write("|\n<1010\nA0.5\n!c\n"));
    ASSERT_TRUE(device.WaitForLine("!c", 3s));
    EXPECT_EQ(device.ReceivedLines(), (std::vector<std::string>{"|", "<1010", "A0.5", "!c"}));
    const std::vector<devemu::ReceivedLine> timed = device.ReceivedLinesWithTime(2);
    ASSERT_EQ(timed.size(), 2u);
    EXPECT_EQ(timed[0].text, "A0.5");
    EXPECT_GT(timed[0].time, 0.0);

    device.ClearReceived();
    EXPECT_TRUE(device.ReceivedLines().empty());

    port.Close();
    EXPECT_TRUE(device.WaitForHostOpen(false, 2s));
}

TEST_F(DeviceEmulatorTest, SilentDeviceAndLinesWhilePortClosedAreLost) {
    devemu::EmulatedDevice device(*emulator_);
    device.Plug(13, 0x32B6, 0x0001, "EMU13", "", 0);
    device.SendLine("STALE");
    EXPECT_EQ(device.Status()["bytes_dropped"], "6");

    TestSerialPort port(device.DevicePath());
    ASSERT_TRUE(port.IsOpen()) << port.OpenError();
    ASSERT_TRUE(port.Configure());
    EXPECT_EQ(port.ReadLine(800), "");

    device.SetIdentity(kIdentity, 200);
    EXPECT_EQ(port.ReadLine(2000), kIdentity);
}

TEST_F(DeviceEmulatorTest, UnplugWhileOpenEndsTheStreamAndReplugWorks) {
    devemu::EmulatedDevice device(*emulator_);
    device.Plug(14, 0x32B6, 0x0001, "EMU14", kIdentity, 200);
    {
        TestSerialPort port(device.DevicePath());
        ASSERT_TRUE(port.IsOpen()) << port.OpenError();
        ASSERT_TRUE(port.Configure());
        EXPECT_EQ(port.ReadLine(2000), kIdentity);

        device.Unplug();
        EXPECT_EQ(Find(ListDevices(L"USB"), L"USB\\VID_32B6&PID_0001\\EMU14"), nullptr);
        std::string rest;
        port.Read(rest, 1, 300); // a line may still have been in the pty
        rest.clear();
        port.Read(rest, 1, 500);
        EXPECT_EQ(rest, "");
        TestSerialPort again(L"\\\\.\\COM14");
        EXPECT_FALSE(again.IsOpen());
    }

    device.Plug(14, 0x32B6, 0x0001, "EMU14", kIdentity, 200);
    EXPECT_NE(Find(ListDevices(L"USB"), L"USB\\VID_32B6&PID_0001\\EMU14"), nullptr);
    TestSerialPort port(device.DevicePath());
    ASSERT_TRUE(port.IsOpen()) << port.OpenError();
    ASSERT_TRUE(port.Configure());
    EXPECT_EQ(port.ReadLine(2000), kIdentity);
}

TEST_F(DeviceEmulatorTest, EntriesOfGoneProcessesAreRemovedAsStale) {
    devemu::UsbRegistryEntry mine = devemu::MakeUsbSerialEntry(16, 0x32B6, 0x0003, L"EMU16");
    devemu::UsbRegistryEntry orphan = devemu::MakeUsbSerialEntry(17, 0x32B6, 0x0003, L"EMU17");
    devemu::UsbRegistryEntry unowned = devemu::MakeUsbSerialEntry(18, 0x32B6, 0x0003, L"EMU18");
    devemu::RegisterDevice(mine);
    devemu::RegisterDevice(orphan);
    devemu::RegisterDevice(unowned, false);
    // An owner id no process has.
    const DWORD gone = 0x7FFFFFF0;
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE,
                              L"System\\CurrentControlSet\\Enum\\USB\\VID_32B6&PID_0003\\EMU17",
                              L"EmulatorOwner", REG_DWORD, &gone, sizeof gone),
              ERROR_SUCCESS);

    EXPECT_EQ(devemu::RemoveStaleEntries(), 1);
    const std::vector<ListedDevice> listed = ListDevices(L"USB");
    EXPECT_NE(Find(listed, L"USB\\VID_32B6&PID_0003\\EMU16"), nullptr);
    EXPECT_EQ(Find(listed, L"USB\\VID_32B6&PID_0003\\EMU17"), nullptr);
    EXPECT_NE(Find(listed, L"USB\\VID_32B6&PID_0003\\EMU18"), nullptr);
    devemu::UnregisterDevice(mine);
    devemu::UnregisterDevice(unowned);
    EXPECT_EQ(Find(ListDevices(L"USB"), L"USB\\VID_32B6&PID_0003\\EMU16"), nullptr);
}

TEST_F(DeviceEmulatorTest, BadRequestsAreReported) {
    devemu::EmulatedDevice device(*emulator_);
    EXPECT_THROW(device.SendLine("X"), std::logic_error);
    EXPECT_THROW(emulator_->Request("SEND 99 X"), std::runtime_error);
    EXPECT_THROW(emulator_->Request("NONSENSE"), std::runtime_error);
    device.Plug(15, 0x32B6, 0x0001, "EMU15", "", 0);
    EXPECT_THROW(device.SendLine("two\nlines"), std::invalid_argument);
    EXPECT_EQ(emulator_->Request("LIST"), "COM15");
}

} // namespace
