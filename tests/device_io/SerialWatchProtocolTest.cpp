#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

#include "device_io/SerialWatch.h"

namespace {

// A watch whose port does not exist: it holds no device, so lines can be fed
// to it directly.
struct DetachedWatch {
    devio::IOManager io;
    std::vector<DeviceIncomingMessage> messages;
    int reports = 0;
    std::shared_ptr<SerialWatch> watch;

    DetachedWatch() {
        watch = std::make_shared<SerialWatch>(
            io, "\\\\.\\NO_SUCH_PORT",
            [this](const DeviceIncomingMessage& m) { messages.push_back(m); },
            [this](SerialWatch* w) {
                ++reports;
                w->DeliverPendingConnect();
            });
    }
};

const std::string P = "####Brackenfold#";

} // namespace

TEST(IdentityLine, FieldsIdsAndKey) {
    DetachedWatch d;
    EXPECT_EQ(WatchState::SystemOpenFailed,
              d.watch->State()); // the open failed with a system error
    EXPECT_FALSE(d.watch->IsActive());
    EXPECT_TRUE(d.watch->ParseIdentity(P + "M1#5"));
    EXPECT_EQ("5M1", d.watch->Key());
    EXPECT_EQ("M1", d.watch->Model());
    DeviceIncomingMessage m = d.watch->MakeMessage(DeviceMessageType::Connected);
    EXPECT_EQ("", m.version);
    EXPECT_EQ("", m.hexId);
    EXPECT_EQ(5, m.id);

    struct Case {
        std::string line;
        bool identity;
        std::string key, version, hexId;
    };
    std::vector<Case> cases = {
        {P + "M1##5###", true, "5M1", "", ""},
        {P + "M1#5##AB", true, "5M1AB", "", ""}, // see version check below
        {P + "M1#5#1#2#x#y", true, "5M12", "1", "2"},
        {P + "M1#12x#v#0F", true, "12M10F", "v", "0F"},
        {P + "M1#-3#v#0F", true, "-3M10F", "v", "0F"},
        {P + "M1#x12", false, "", "", ""},
        {P + "M1#99999999999", false, "", "", ""},
        {P + "M1", false, "", "", ""},
        {P, false, "", "", ""},
        {"\\" + P + "M1#5#1.0#0A/", true, "5M10A", "1.0", "0A"},
        {"\\" + P + "M1#5#1.0/", false, "", "", ""},
        {"\\" + P + "M1#5#1.0#0A", false, "", "", ""},
        {"####brackenfold#M1#5", false, "", "", ""},
    };
    for (const Case& c : cases) {
        DetachedWatch w;
        EXPECT_EQ(c.identity, w.watch->ParseIdentity(c.line)) << c.line;
        if (!c.identity)
            continue;
        DeviceIncomingMessage msg = w.watch->MakeMessage(DeviceMessageType::Connected);
        if (c.line == P + "M1#5##AB") {
            EXPECT_EQ("AB", msg.version);
            EXPECT_EQ("", msg.hexId);
            EXPECT_EQ("5M1", msg.key);
            continue;
        }
        EXPECT_EQ(c.key, msg.key) << c.line;
        EXPECT_EQ(c.version, msg.version) << c.line;
        EXPECT_EQ(c.hexId, msg.hexId) << c.line;
    }
}

TEST(IdentityLine, ConnectThenCommandsAndTheFirstIdentityHolds) {
    DetachedWatch d;
    d.watch->OnLine("BTN_1=1"); // before identification: dropped
    d.watch->OnLine("");
    EXPECT_TRUE(d.messages.empty());
    d.watch->OnLine(P + "M1#7#1.2#0A");
    ASSERT_EQ(1u, d.messages.size());
    EXPECT_EQ(DeviceMessageType::Connected, d.messages[0].type);
    EXPECT_EQ("7M10A", d.messages[0].key);
    EXPECT_EQ(1, d.reports);
    // A second identity with other fields changes nothing and reports nothing.
    d.watch->OnLine(P + "M2#8#2.0#0B");
    EXPECT_EQ(1u, d.messages.size());
    EXPECT_EQ(1, d.reports);
    EXPECT_EQ("7M10A", d.watch->Key());
    d.watch->OnLine("BTN_1=1");
    d.watch->OnLine(P + "M1#x"); // unusable identity after identification: a command
    ASSERT_EQ(3u, d.messages.size());
    EXPECT_EQ(DeviceMessageType::Command, d.messages[1].type);
    EXPECT_EQ("BTN_1=1", d.messages[1].line);
    EXPECT_EQ("7M10A", d.messages[1].key);
    EXPECT_EQ(P + "M1#x", d.messages[2].line);
    EXPECT_FALSE(d.watch->DeliverPendingConnect());
}

TEST(IdentityLine, UnitIdMinusOneIsAnIdLikeAnyOther) {
    DetachedWatch d;
    d.watch->OnLine(P + "M1#-1#1.0#0F");
    ASSERT_EQ(1u, d.messages.size());
    EXPECT_EQ(DeviceMessageType::Connected, d.messages[0].type);
    EXPECT_EQ("-1M10F", d.messages[0].key);
    d.watch->OnLine(P + "M2#4#1.0#0F"); // later identity lines change nothing
    EXPECT_EQ("-1M10F", d.watch->Key());
    d.watch->OnLine("BTN_1=1");
    ASSERT_EQ(2u, d.messages.size());
    EXPECT_EQ(DeviceMessageType::Command, d.messages[1].type);
    EXPECT_EQ("BTN_1=1", d.messages[1].line);
}

TEST(HostLines, ValueFormatAndSuffix) {
    EXPECT_EQ("2", FormatValue(2.0f));
    EXPECT_EQ("0.5", FormatValue(0.5f));
    EXPECT_EQ("1.23457e+06", FormatValue(1234567.0f));
    EXPECT_EQ("-0.25", FormatValue(-0.25f));
    EXPECT_EQ("abc", StripSuffix("/", "abc/"));
    EXPECT_EQ("abc", StripSuffix("/", "abc"));
}
