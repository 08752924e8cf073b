// Command pages and custom event registration, against the stand-in simulator and
// its helper module.

#include "StandinLink.h"

#include "sim_link/ClientEvent.h"
#include "sim_link/CommandPageClient.h"
#include "sim_link/CustomEventMapper.h"
#include "sim_link/NotificationGroup.h"
#include "sim_link/RegistrationMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

// The registration message of L:A.B, H:A.B and L:A:B, byte for byte.
const char* ThreeRuleMessage = "1000000000000a000e000600070008000a000000000001010c00000000000600"
                               "08000400060000000400000003000000700000003400000004000000a6ffffff"
                               "00000001100000000400000003000000413a42000f000000424b462e4d415050"
                               "45442e415f423100d2ffffff00000002100000000400000003000000412e4200"
                               "0f000000424b462e4d41505045442e415f42300000000a001000080007000c00"
                               "0a00000000000001100000000400000003000000412e42000e000000424b462e"
                               "4d41505045442e415f420000";

std::string Hex(const uint8_t* data, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 15]);
    }
    return text;
}

class CommandPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = InstallRecordingLogger();
        ASSERT_TRUE(link.Ready());
    }
    void TearDown() override {
        mapper.reset();
        pages.reset();
        gLogger.reset();
    }

    // The program's side as Plugin builds it, optionally connected.
    HANDLE Start(bool connect = true) {
        pages = std::make_unique<CommandPageClient>(events, groups);
        mapper = std::make_unique<CustomEventMapper>(*pages);
        if (!connect)
            return nullptr;
        return SetHandle(link.Connect());
    }
    HANDLE SetHandle(HANDLE handle) {
        events.SetHandle(handle);
        groups.SetHandle(handle);
        pages->SetHandle(handle);
        mapper->RequeueAll();
        return handle;
    }

    // Hands received events to the page client until the condition holds.
    template <typename Condition>
    bool PumpUntil(HANDLE handle, Condition condition, DWORD timeoutMs = 5000) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs;) {
            if (condition())
                return true;
            DrainMessages(
                handle,
                [&](SIMCONNECT_RECV* data, DWORD size) {
                    if (data->dwID == SIMCONNECT_RECV_ID_EVENT)
                        pages->OnEvent(static_cast<SIMCONNECT_RECV_EVENT*>(data), size);
                },
                20);
        }
        return condition();
    }
    bool AllFree() const {
        for (uint32_t page = 0; page < CommandPageClient::PageCount; ++page)
            if (pages->IsBusy(page))
                return false;
        return true;
    }
    // The fields of the stand-in's record lines of that kind.
    std::vector<std::string> RecordLines(const std::string& kind) {
        std::vector<std::string> found;
        std::istringstream lines(link.Process().Record());
        std::string line;
        std::string marker = " " + kind + " ";
        while (std::getline(lines, line)) {
            size_t at = line.find(marker);
            if (at != std::string::npos)
                found.push_back(line.substr(at + marker.size()));
        }
        return found;
    }
    std::vector<std::string> HelperPages() { return RecordLines("helper-page"); }
    std::vector<std::string> Errors() const { return LogTexts(*log, 0); }

    std::shared_ptr<RecordingTarget> log;
    StandinLink link;
    ClientEventRegistry events;
    NotificationGroupRegistry groups;
    std::unique_ptr<CommandPageClient> pages;
    std::unique_ptr<CustomEventMapper> mapper;
};

} // namespace

TEST_F(CommandPageTest, PrefixedNamesAndTheirNumberedVariants) {
    Start(false);
    EXPECT_EQ(mapper->MapEventName("L:A.B"), "BKF.MAPPED.A_B");
    EXPECT_EQ(mapper->MapEventName("L:A.B"), "BKF.MAPPED.A_B") << "one name, one mapping";
    EXPECT_EQ(mapper->PendingCount(), 1u);
    EXPECT_EQ(mapper->MapEventName("H:A.B"), "BKF.MAPPED.A_B0");
    EXPECT_EQ(mapper->MapEventName("L:A:B"), "BKF.MAPPED.A_B1");
    EXPECT_EQ(mapper->MapEventName("H:x-y z"), "BKF.MAPPED.x-y z");
    for (const char* plain : {"A_B", "l:x", "AP_MASTER", "", "L"})
        EXPECT_EQ(mapper->MapEventName(plain), plain);
    EXPECT_EQ(mapper->PendingCount(), 4u);
    EXPECT_TRUE(HasMappedPrefix("H:"));
    EXPECT_FALSE(HasMappedPrefix("h:A"));
    EXPECT_FALSE(mapper->SendPendingRegistrations()) << "no connection: nothing can be sent";
    EXPECT_EQ(mapper->PendingCount(), 4u);
}

TEST_F(CommandPageTest, PagesAreDefinedAndTheCompletionEventIsGrouped) {
    HANDLE handle = Start();
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_EQ(link.Fields("MapClientEventToSimEvent"),
              (std::vector<std::string>{"EventID=2 EventName=\"BKF.XPARAM.CMD_FINISHED\""}));
    EXPECT_EQ(link.Fields("AddClientEventToNotificationGroup"),
              (std::vector<std::string>{"GroupID=0 EventID=2 bMaskable=0"}));
    EXPECT_EQ(link.Fields("SetNotificationGroupPriority"),
              (std::vector<std::string>{"GroupID=0 uPriority=1"}));
    EXPECT_EQ(link.Fields("AddToClientDataDefinition"),
              (std::vector<std::string>{
                  "DefineID=0 dwOffset=0 dwSizeOrType=4096 fEpsilon=0 DatumID=4294967295",
                  "DefineID=1 dwOffset=0 dwSizeOrType=4294967290 fEpsilon=0 "
                  "DatumID=4294967295"}));
    EXPECT_EQ(link.Fields("MapClientDataNameToID"),
              (std::vector<std::string>{"szClientDataName=\"BKF.CMD.00000000\" ClientDataID=0",
                                        "szClientDataName=\"BKF.CMD.00000001\" ClientDataID=1",
                                        "szClientDataName=\"BKF.CMD.00000002\" ClientDataID=2",
                                        "szClientDataName=\"BKF.CMD.00000003\" ClientDataID=3"}));
    EXPECT_TRUE(HasLogLine(*log, "Creating notification group 0"));
    EXPECT_TRUE(HasLogLine(*log, "Clearing notification group 0"));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CommandPageTest, ThreeRulesGoOutInOneMessageOfFixedBytes) {
    HANDLE handle = Start();
    ASSERT_NE(handle, nullptr);
    mapper->MapEventName("L:A.B");
    mapper->MapEventName("H:A.B");
    mapper->MapEventName("L:A:B");
    EXPECT_EQ(mapper->PendingCount(), 3u);
    ASSERT_TRUE(mapper->SendPendingRegistrations());
    EXPECT_EQ(mapper->PendingCount(), 0u);
    ASSERT_TRUE(link.Process().WaitForRecord(" helper-page "));
    auto sent = HelperPages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(0, sent[0].find(" Payload=")), "Page=0 PayloadLength=204");
    EXPECT_EQ(sent[0].substr(sent[0].find(" Payload=") + 9), ThreeRuleMessage);
    EXPECT_TRUE(HasLogLine(*log, "sent 204 byte registration for 3 events to helper"));
    ASSERT_TRUE(link.Process().WaitForRecord("MappedName=\"BKF.MAPPED.A_B1\""));
    EXPECT_EQ(RecordLines("helper-message"),
              (std::vector<std::string>{"Page=0 Version=1 Registrations=3"}));
    EXPECT_EQ(
        RecordLines("helper-registration"),
        (std::vector<std::string>{"Page=0 Kind=1 Name=\"A.B\" MappedName=\"BKF.MAPPED.A_B\"",
                                  "Page=0 Kind=2 Name=\"A.B\" MappedName=\"BKF.MAPPED.A_B0\"",
                                  "Page=0 Kind=1 Name=\"A:B\" MappedName=\"BKF.MAPPED.A_B1\""}))
        << "the helper decodes every registration";
    EXPECT_TRUE(HasLogLine(*log, "SetClientData for Page 0 -> Txn: 11"));
    EXPECT_TRUE(PumpUntil(handle, [&] { return AllFree(); })) << "CMD_FINISHED frees page 0";
    EXPECT_TRUE(HasLogLine(
        *log, "CommandPageClient: Received notification that command page 0 is available"));
    EXPECT_TRUE(mapper->SendPendingRegistrations()) << "nothing left pending";
    EXPECT_EQ(HelperPages().size(), 1u);
}

TEST_F(CommandPageTest, AllFourPagesBusyUntilTheHelperAnswers) {
    HANDLE handle = Start();
    ASSERT_NE(handle, nullptr);
    link.Process().Command("helper hold");
    ASSERT_TRUE(link.Process().WaitForRecord("command \"helper hold\""));
    for (int i = 0; i < 4; ++i) {
        mapper->MapEventName("L:VAR" + std::to_string(i));
        ASSERT_TRUE(mapper->SendPendingRegistrations());
    }
    for (uint32_t page = 0; page < 4; ++page)
        EXPECT_TRUE(pages->IsBusy(page));
    mapper->MapEventName("H:EVENT");
    size_t lines = log->Lines().size();
    EXPECT_FALSE(mapper->SendPendingRegistrations());
    EXPECT_EQ(mapper->PendingCount(), 1u) << "the rule waits for a free page";
    EXPECT_EQ(log->Lines().size(), lines) << "a full set of pages is no error";
    EXPECT_EQ(pages->NextPage(), 1u) << "five probes move the search one page on";
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_EQ(link.Fields("SetClientData").size(), 4u);

    // Completions that name no page of ours change nothing.
    link.Process().Command("clientevent BKF.XPARAM.CMD_FINISHED 7");
    ASSERT_TRUE(link.Process().WaitForRecord("Data=7"));
    PumpUntil(
        handle, [] { return false; }, 300);
    SIMCONNECT_RECV_EVENT shortEvent = {};
    shortEvent.dwSize = 16;
    shortEvent.uEventID = 2;
    shortEvent.dwData = 1;
    pages->OnEvent(&shortEvent, 16);
    for (uint32_t page = 0; page < 4; ++page)
        EXPECT_TRUE(pages->IsBusy(page)) << "page " << page;

    link.Process().Command("helper answer");
    EXPECT_TRUE(PumpUntil(handle, [&] { return AllFree(); }));
    EXPECT_TRUE(mapper->SendPendingRegistrations());
    // Page 1 was written before, so wait for the fifth page write itself.
    EXPECT_TRUE(PumpUntil(handle, [&] { return HelperPages().size() >= 5; }));
    EXPECT_EQ(HelperPages().size(), 5u);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CommandPageTest, EverythingIsSentAgainAfterANewHandle) {
    HANDLE first = Start();
    ASSERT_NE(first, nullptr);
    for (const char* name : {"L:ONE", "H:TWO", "L:THREE.X"})
        mapper->MapEventName(name);
    ASSERT_TRUE(mapper->SendPendingRegistrations());
    ASSERT_TRUE(PumpUntil(first, [&] { return AllFree(); }));

    link.Close(first);
    SetHandle(nullptr);
    HANDLE second = SetHandle(link.Connect());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(mapper->PendingCount(), 3u);
    ASSERT_TRUE(mapper->SendPendingRegistrations());
    ASSERT_TRUE(link.Sync(second));
    EXPECT_EQ(link.Fields("MapClientEventToSimEvent", 2),
              (std::vector<std::string>{"EventID=2 EventName=\"BKF.XPARAM.CMD_FINISHED\""}));
    EXPECT_EQ(link.Fields("AddClientEventToNotificationGroup", 2).size(), 1u);
    EXPECT_EQ(link.Fields("SetNotificationGroupPriority", 2),
              (std::vector<std::string>{"GroupID=0 uPriority=1"}));
    EXPECT_EQ(link.Fields("AddToClientDataDefinition", 2).size(), 2u);
    EXPECT_EQ(link.Fields("MapClientDataNameToID", 2).size(), 4u);
    auto written = link.Requests("SetClientData", 2);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].fields.find("ClientDataID=1 "), std::string::npos)
        << "the page search goes on where it stopped";
    EXPECT_TRUE(PumpUntil(second, [&] { return AllFree(); }));
    EXPECT_EQ(RecordLines("helper-registration").size(), 6u) << "each rule told twice";
    EXPECT_TRUE(RecordLines("helper-message-error").empty());
}

TEST_F(CommandPageTest, OversizedRulesAreDroppedOrSplitNeverBlocking) {
    HANDLE handle = Start();
    ASSERT_NE(handle, nullptr);
    // Two rules that pass the budget together but would make a message above a
    // page's 4094 bytes: sent one by one.
    mapper->MapEventName("L:" + std::string(990, 'a'));
    mapper->MapEventName("L:" + std::string(990, 'b'));
    ASSERT_TRUE(mapper->SendPendingRegistrations());
    EXPECT_TRUE(Errors().empty());
    ASSERT_TRUE(PumpUntil(handle, [&] { return AllFree(); }));
    auto sent = HelperPages();
    ASSERT_EQ(sent.size(), 2u);

    // One rule whose message alone exceeds a page, one whose names exceed the
    // budget: each dropped with one Error; the rules around them still go.
    mapper->MapEventName("L:FIRST");
    mapper->MapEventName("L:" + std::string(1996, 'c'));
    mapper->MapEventName("H:" + std::string(3000, 'd'));
    mapper->MapEventName("L:" + std::string(1995, 'e'));
    mapper->MapEventName("H:LAST");
    ASSERT_TRUE(mapper->SendPendingRegistrations());
    EXPECT_EQ(mapper->PendingCount(), 0u);
    auto errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].find("custom event BKF.MAPPED.ccc"), 0u);
    EXPECT_EQ(errors[1].find("custom event BKF.MAPPED.ddd"), 0u);
    ASSERT_TRUE(PumpUntil(handle, [&] { return HelperPages().size() == 5; }));
    sent = HelperPages();
    EXPECT_EQ(sent[2].substr(0, sent[2].find(" Payload=")), "Page=2 PayloadLength=116")
        << "FIRST alone";
    EXPECT_NE(sent[3].find("PayloadLength=4092"), std::string::npos) << "the largest that fits";
    EXPECT_TRUE(HasLogLine(*log, "sent 4092 byte registration for 1 events to helper"));
    EXPECT_EQ(sent[4].substr(0, sent[4].find(" Payload=")), "Page=0 PayloadLength=112");
}

TEST(CommandPageTransmit, RefusesWithoutAConnectionOrOversizedPayloads) {
    auto log = InstallRecordingLogger();
    {
        ClientEventRegistry events;
        NotificationGroupRegistry groups;
        CommandPageClient pages(events, groups);
        uint8_t payload[3] = {1, 2, 3};
        EXPECT_FALSE(pages.Transmit(payload, 3));
        pages.SetHandle(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(pages.Transmit(payload, 3));
        EXPECT_EQ(pages.NextPage(), 0u) << "no page was taken";
        std::vector<uint8_t> big(4095, 0);
        EXPECT_FALSE(pages.Transmit(big.data(), big.size()));
        EXPECT_EQ(LogTexts(*log, 0).size(), 1u);
        char name[32];
        EXPECT_EQ(FormatBounded(name, sizeof name, "BKF.CMD.%08x", 3), 16);
        EXPECT_STREQ(name, "BKF.CMD.00000003");
        EXPECT_EQ(FormatBounded(name, 4, "%s", "abcdef"), 6);
        EXPECT_STREQ(name, "abc");
    }
    gLogger.reset();
}

TEST(RegistrationMessage, KindZeroIsNotStored) {
    RegistrationMessage message;
    message.Add(0, "X:Y", "BKF.MAPPED.X_Y");
    message.Finish();
    EXPECT_EQ(Hex(message.Data(), message.Length()),
              "1000000000000a000e000600070008000a000000000001010c00000000000600"
              "080004000600000004000000010000001000000000000a000c00040000000800"
              "0a000000100000000400000003000000583a59000e000000424b462e4d415050"
              "45442e585f590000");
}
