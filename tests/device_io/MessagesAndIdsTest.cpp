#include <gtest/gtest.h>

#include <windows.h>

#include "device_io/DeviceMessages.h"
#include "device_io/PortRetryState.h"
#include "device_io/SerialPortEnumeration.h"
#include "device_io/UsbIdFilter.h"

using namespace enumerate;

TEST(DeviceMessages, ToStringNamesEveryType) {
    DeviceIncomingMessage m;
    m.type = DeviceMessageType::Command;
    m.port = "COM5";
    m.id = 3;
    m.key = "3M10A";
    m.model = "M1";
    m.version = "1.2";
    m.hexId = "0A";
    m.line = "BTN_1=1";
    EXPECT_EQ("port=COM5 id=3 model=M1 version=1.2 hexId=0A type=command line=BTN_1=1",
              m.ToString());
    m.type = static_cast<DeviceMessageType>(7);
    m.id = -1;
    m.line.clear();
    EXPECT_EQ("port=COM5 id=-1 model=M1 version=1.2 hexId=0A type=unknown line=", m.ToString());
    m.type = DeviceMessageType::None;
    EXPECT_NE(std::string::npos, m.ToString().find("type=unknown"));
    m.type = DeviceMessageType::Connected;
    EXPECT_NE(std::string::npos, m.ToString().find("type=connected line="));
    m.type = DeviceMessageType::Disconnected;
    EXPECT_NE(std::string::npos, m.ToString().find("type=disconnected"));
}

TEST(DeviceMessages, NamedRequestsFillOnlyTheirFields) {
    DeviceIoRequest leds = DeviceIoRequest::SetLeds("5M1", "0101");
    EXPECT_EQ(DeviceIoRequestKind::SetLeds, leds.kind);
    EXPECT_EQ("5M1", leds.deviceId);
    EXPECT_EQ("0101", leds.text);
    EXPECT_EQ(0.0f, leds.value);
    EXPECT_FALSE(leds.flag);
    DeviceIoRequest value = DeviceIoRequest::SetValue("5M1", "ROLL", 0.5f);
    EXPECT_EQ(DeviceIoRequestKind::SetValue, value.kind);
    EXPECT_EQ("ROLL", value.text);
    EXPECT_EQ(0.5f, value.value);
    DeviceIoRequest legacy = DeviceIoRequest::SetLegacySupport(true);
    EXPECT_EQ(DeviceIoRequestKind::SetLegacySupport, legacy.kind);
    EXPECT_TRUE(legacy.deviceId.empty());
    EXPECT_TRUE(legacy.flag);
    EXPECT_EQ(DeviceIoRequestKind::SendReady, DeviceIoRequest::SendReady("x").kind);
    EXPECT_EQ(DeviceIoRequestKind::ClearLeds, DeviceIoRequest::ClearLeds("x").kind);
    EXPECT_EQ(DeviceIoRequestKind::Recalibrate, DeviceIoRequest::Recalibrate("x").kind);
    // The kinds keep their numbers, 1 to 6 in the order above.
    EXPECT_EQ(1, static_cast<int32_t>(DeviceIoRequestKind::SendReady));
    EXPECT_EQ(6, static_cast<int32_t>(DeviceIoRequestKind::SetLegacySupport));
}

TEST(HardwareIdParsing, VendorProductAndInterface) {
    HardwareId a = ParseHardwareId("USB\\VID_32B6&PID_0001");
    EXPECT_TRUE(a.hasUsbId);
    EXPECT_EQ(0x32B6, a.vendorId);
    EXPECT_EQ(0x0001, a.productId);
    EXPECT_FALSE(a.hasInterface);
    HardwareId b = ParseHardwareId("USB\\VID_2341&PID_0042&MI_00");
    EXPECT_TRUE(b.hasInterface);
    EXPECT_EQ(0, b.interfaceNumber);
    EXPECT_EQ(0x1234, ParseHardwareId("USB\\VID_&PID_0001&VID_1234").vendorId);
    EXPECT_EQ(0x7523, ParseHardwareId("USB\\VID_1A86&PID_7523+ABC").productId);
    EXPECT_EQ(0x0264, ParseHardwareId("FTDIBUS\\VID_1A86&PID_0264&REV_0264").productId);
    // Values wider than the field are truncated.
    EXPECT_EQ(0x2345, ParseHardwareId("USB\\VID_12345&PID_1").vendorId);
}

TEST(HardwareIdParsing, RejectsBadIdsWithTheirReason) {
    auto reason = [](const std::string& text) {
        try {
            ParseHardwareId(text);
        } catch (const InvalidHardwareIdException& e) {
            return std::string(e.what());
        }
        return std::string("parsed");
    };
    EXPECT_EQ("incomplete USB ID", reason("USB\\VID_1234"));
    EXPECT_EQ("multiple vendor IDs", reason("USB\\VID_1234&VID_5678&PID_0001"));
    EXPECT_EQ("multiple product IDs", reason("USB\\VID_1234&PID_1&PID_2"));
    EXPECT_EQ("multiple interface numbers", reason("USB\\VID_1234&PID_1&MI_00&MI_01"));
    EXPECT_EQ("Missing namespace delimiter", reason("VID_1234&PID_0001"));
    EXPECT_EQ("Missing namespace delimiter", reason(""));
    EXPECT_EQ("incomplete USB ID", reason("ACPI\\PNP0501"));
    EXPECT_EQ("incomplete USB ID", reason("USB\\vid_1234&pid_0001")); // prefixes are case-sensitive
}

TEST(HardwareIdParsing, EqualityNeedsUsbIds) {
    EXPECT_NE(HardwareId(), HardwareId());
    EXPECT_EQ(HardwareId(1, 2), HardwareId(1, 2));
    EXPECT_NE(HardwareId(1, 2), HardwareId(1, 2, 0));
    EXPECT_NE(HardwareId(1, 2, 0), HardwareId(1, 2, 1));
    EXPECT_EQ(SerialPort("\\\\.\\COM3", HardwareId(1, 2)),
              SerialPort("\\\\.\\COM3", HardwareId(1, 2)));
    EXPECT_NE(SerialPort("\\\\.\\COM3", HardwareId()), SerialPort("\\\\.\\COM3", HardwareId()));
}

TEST(HardwareIdParsing, RegistryValueForms) {
    std::string parsed;
    // REG_MULTI_SZ: the first string that parses wins (REV_ is ignored).
    const char multi[] = "USB\\VID_1A86&PID_7523&REV_0264\0USB\\VID_1A86&PID_7523\0";
    auto strings = HardwareIdStrings(REG_MULTI_SZ, multi, sizeof(multi));
    ASSERT_EQ(2u, strings.size());
    HardwareId id = FirstUsbHardwareId(strings, parsed);
    EXPECT_EQ(HardwareId(0x1A86, 0x7523), id);
    EXPECT_EQ("USB\\VID_1A86&PID_7523&REV_0264", parsed);
    // Strings that do not parse are passed over.
    const char second[] = "USB\\ROOT_HUB\0USB\\VID_32B6&PID_0002\0";
    id = FirstUsbHardwareId(HardwareIdStrings(REG_MULTI_SZ, second, sizeof(second)), parsed);
    EXPECT_EQ(HardwareId(0x32B6, 2), id);
    // A REG_SZ value without its terminating NUL ends at the size read.
    const char unterminated[] = {'U', 'S', 'B', '\\', 'V', 'I', 'D', '_', '1',
                                 '&', 'P', 'I', 'D',  '_', '2', 'X', 'X'};
    strings = HardwareIdStrings(REG_SZ, unterminated, 15);
    ASSERT_EQ(1u, strings.size());
    EXPECT_EQ("USB\\VID_1&PID_2", strings[0]);
    // A multi-string list cut short at the size read.
    strings = HardwareIdStrings(REG_MULTI_SZ, multi, 10);
    ASSERT_EQ(1u, strings.size());
    EXPECT_EQ("USB\\VID_1A", strings[0]);
    EXPECT_TRUE(HardwareIdStrings(REG_DWORD, multi, 4).empty());
    EXPECT_FALSE(FirstUsbHardwareId({"ACPI\\PNP0501"}, parsed).hasUsbId);
}

TEST(HardwareIdParsing, SplitStringPieces) {
    using Q = std::deque<std::string>;
    EXPECT_EQ((Q{"a", "b"}), SplitString("a&b&", '&', 0));
    EXPECT_EQ((Q{"", "a", "", "b"}), SplitString("&a&&b", '&', 0));
    EXPECT_EQ(Q{}, SplitString("", '&', 0));
    EXPECT_EQ((Q{"a", "b&c"}), SplitString("a&b&c", '&', 2));
    EXPECT_EQ((Q{"a", ""}), SplitString("a&", '&', 2));
    EXPECT_EQ("COM3", StripPrefix("\\\\.\\", "\\\\.\\COM3"));
    EXPECT_EQ("COM3", StripPrefix("X", "COM3"));
    EXPECT_FALSE(StartsWith("COM", "CO"));
}

TEST(UsbIdFilters, OwnAndLegacyIds) {
    auto port = [](uint16_t v, uint16_t p) { return SerialPort("p", HardwareId(v, p)); };
    auto matchesAny = [](const std::vector<UsbIdFilter>& list, const SerialPort& p) {
        for (const UsbIdFilter& f : list)
            if (f.Matches(p))
                return true;
        return false;
    };
    EXPECT_TRUE(matchesAny(OwnUsbIds, port(0x32B6, 0x1234)));
    EXPECT_TRUE(matchesAny(OwnUsbIds, port(0x32B6, 0)));
    EXPECT_FALSE(matchesAny(OwnUsbIds, port(0x2341, 0x0042)));
    EXPECT_TRUE(matchesAny(LegacyUsbIds, port(0x2341, 0x0042)));
    EXPECT_TRUE(matchesAny(LegacyUsbIds, port(0x1A86, 0x7523)));
    EXPECT_FALSE(matchesAny(LegacyUsbIds, port(0x2341, 0x0043)));
    EXPECT_EQ(7u, LegacyUsbIds.size());
    // A port without a USB id has the key 0.
    EXPECT_EQ(0u, UsbKey(SerialPort("p", HardwareId())));
    EXPECT_TRUE(UsbIdFilter(0, 0, 0, 0).Matches(SerialPort("p", HardwareId())));
    UsbIdFilter masked(0x2341, 0xFFFF, 0x0040, 0xFFF0);
    EXPECT_TRUE(masked.Matches(port(0x2341, 0x0042)));
    EXPECT_FALSE(masked.Matches(port(0x2341, 0x0052)));
}

TEST(PortRetry, RetriesAndGraceAfterGoodIdentification) {
    const int64_t second = 1000000000LL;
    const int64_t t0 = 1000 * second;
    PortRetryState s;
    EXPECT_TRUE(s.NoteOpenAttempt(t0));
    EXPECT_EQ(t0, s.lastOpenNs);
    for (int state : {1, 3, 6}) {
        s.state = state;
        EXPECT_FALSE(s.RetryAllowed()) << state;
    }
    for (int state : {0, 2, 4, 5}) {
        s.state = state;
        EXPECT_TRUE(s.RetryAllowed()) << state;
    }
    s.state = 0;
    // Lost without identifying: costs a retry, however late.
    s.NoteLost(t0 + 120 * second);
    EXPECT_EQ(4, s.retriesLeft);
    // Identified, lost soon after the open: still costs a retry.
    s.MarkGood(t0 + 1 * second);
    EXPECT_EQ(5, s.retriesLeft);
    EXPECT_EQ(PortStatus::CameUp, s.status);
    s.NoteLost(t0 + 2 * second);
    EXPECT_EQ(4, s.retriesLeft);
    // Identified and lost 60 s after the open: free; 59 s after it: not.
    s.MarkGood(t0 + 1 * second);
    s.NoteLost(t0 + 60 * second);
    EXPECT_EQ(5, s.retriesLeft);
    s.NoteLost(t0 + 59 * second);
    EXPECT_EQ(4, s.retriesLeft);
    // The grace time is the caller's.
    s.MarkGood(t0 + 1 * second);
    s.NoteLost(t0 + 3 * second, 2 * second);
    EXPECT_EQ(5, s.retriesLeft);
    // Five opens in all for a device that never comes up.
    PortRetryState never;
    int opens = 0;
    while (never.NoteOpenAttempt(t0 + opens * 20 * second)) {
        ++opens;
        never.NoteLost(t0 + opens * 20 * second);
    }
    EXPECT_EQ(5, opens);
    PortRetryState barred;
    barred.status = PortStatus::NeverAgain;
    EXPECT_FALSE(barred.NoteOpenAttempt(t0));
}
