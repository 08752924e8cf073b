// Client event ids, their mappings and subscriptions, and transmission, against the
// stand-in simulator.

#include "StandinLink.h"

#include "sim_link/ClientEvent.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using ClientEventTest = StandinLinkTest;

} // namespace

TEST_F(ClientEventTest, IdsNamesAndRegistrationOnEachNewHandle) {
    ClientEventRegistry registry;
    auto simA = registry.GetSimEvent("BKF.TEST.A");
    EXPECT_EQ(simA->Id(), 2u);
    auto anonymous = registry.CreateClientEvent();
    EXPECT_EQ(anonymous->Id(), 3u) << "an anonymous event takes an id too";
    auto systemA = registry.GetSystemEvent("BKF.TEST.A");
    EXPECT_EQ(systemA->Id(), 4u) << "sim and system names are apart";
    EXPECT_EQ(registry.GetSimEvent("BKF.TEST.A"), simA);
    EXPECT_EQ(registry.GetSystemEvent("Frame")->Id(), 5u);

    HANDLE first = link.Connect();
    ASSERT_NE(first, nullptr);
    registry.SetHandle(first);
    auto simB = registry.GetSimEvent("BKF.TEST.B");
    EXPECT_EQ(simB->Id(), 6u);
    ASSERT_TRUE(link.Sync(first));
    EXPECT_EQ(link.Fields("MapClientEventToSimEvent"),
              (std::vector<std::string>{"EventID=2 EventName=\"BKF.TEST.A\"",
                                        "EventID=6 EventName=\"BKF.TEST.B\""}));
    EXPECT_EQ(link.Fields("SubscribeToSystemEvent"),
              (std::vector<std::string>{"EventID=4 SystemEventName=\"BKF.TEST.A\""}))
        << "the expired Frame subscription is not made; nothing for the anonymous id";

    // The same handle again sends nothing.
    registry.SetHandle(first);
    // A released name keeps its id and is mapped again.
    simA.reset();
    auto simAgain = registry.GetSimEvent("BKF.TEST.A");
    EXPECT_EQ(simAgain->Id(), 2u);
    ASSERT_TRUE(link.Sync(first));
    auto maps = link.Requests("MapClientEventToSimEvent");
    ASSERT_EQ(maps.size(), 3u);
    EXPECT_EQ(maps[2].fields, "EventID=2 EventName=\"BKF.TEST.A\"");
    EXPECT_TRUE(HasLogLine(*log, "simconnect: Mapping \"BKF.TEST.A\" -> CEv: 2: Transaction: " +
                                     std::to_string(maps[2].sendId)))
        << "the transaction number names the packet of the request";

    // A new handle registers every live event on the new connection.
    HANDLE second = link.Connect();
    ASSERT_NE(second, nullptr);
    simB.reset();
    registry.SetHandle(second);
    ASSERT_TRUE(link.Sync(second));
    EXPECT_EQ(link.Fields("MapClientEventToSimEvent", 2),
              (std::vector<std::string>{"EventID=2 EventName=\"BKF.TEST.A\""}));
    EXPECT_EQ(link.Fields("SubscribeToSystemEvent", 2),
              (std::vector<std::string>{"EventID=4 SystemEventName=\"BKF.TEST.A\""}));
    EXPECT_EQ(registry.GetSimEvent("BKF.TEST.B")->Id(), 6u) << "a name keeps its id";

    // Dropping the last holder of a system event unsubscribes it; a state request.
    systemA->RequestState(0);
    systemA.reset();
    ASSERT_TRUE(link.Sync(second));
    EXPECT_EQ(link.Fields("UnsubscribeFromSystemEvent", 2),
              (std::vector<std::string>{"EventID=4"}));
    auto states = link.Fields("RequestSystemState", 2);
    EXPECT_NE(std::find(states.begin(), states.end(), "RequestID=0 szState=\"BKF.TEST.A\""),
              states.end());
    registry.SetHandle(nullptr);
}

TEST_F(ClientEventTest, TransmitFlagsAndUnusableHandles) {
    ClientEventRegistry registry;
    auto event = registry.GetSimEvent("BKF.TEST.PRESS");
    EXPECT_FALSE(event->Transmit(1, false)) << "null handle";
    registry.SetHandle(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(event->Transmit(1, true)) << "all-ones handle";
    auto system = registry.GetSystemEvent("Sim");
    system->RequestState(1);
    system.reset();
    EXPECT_TRUE(log->Lines().empty()) << "nothing is sent or logged without a usable handle";

    HANDLE handle = link.Connect();
    ASSERT_NE(handle, nullptr);
    registry.SetHandle(handle);
    EXPECT_TRUE(event->Transmit(7, false));
    EXPECT_TRUE(event->Transmit(8, true));
    ASSERT_TRUE(link.Sync(handle));
    auto sent = link.Requests("TransmitClientEvent");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].fields.substr(0, sent[0].fields.find(" Name=")),
              "ObjectID=0 EventID=2 dwData=7 GroupID=1 Flags=16");
    EXPECT_EQ(sent[1].fields.substr(0, sent[1].fields.find(" Name=")),
              "ObjectID=0 EventID=2 dwData=8 GroupID=1 Flags=18");
    EXPECT_TRUE(HasLogLine(*log, "simconnect: TransmitClientEvent for ClEvent 2 (data: 8, flags: "
                                 "12) -> Txn: " +
                                     std::to_string(sent[1].sendId)));

    // With Trace off the request still goes; its line is not written.
    gLogger->SetLevel(BKFLog::LevelInfo);
    log->Clear();
    EXPECT_TRUE(event->Transmit(9, false));
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_EQ(link.Requests("TransmitClientEvent").size(), 3u);
    EXPECT_TRUE(log->Lines().empty());
    registry.SetHandle(nullptr);
}

TEST(SimConnectHelpers, ExceptionNamesAndTransactionNumber) {
    EXPECT_STREQ(SimConnectExceptionName(0), "SIMCONNECT_EXCEPTION_NONE");
    EXPECT_STREQ(SimConnectExceptionName(24),
                 "SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OJBECT_TYPE");
    EXPECT_STREQ(SimConnectExceptionName(26), "SIMCONNECT_EXCEPTION_ALREADY_SUBSCRIBED ");
    EXPECT_STREQ(SimConnectExceptionName(27), "SIMCONNECT_EXCEPTION_INVALID_ENUM ");
    EXPECT_STREQ(SimConnectExceptionName(28), "SIMCONNECT_EXCEPTION_DEFINITION_ERROR");
    EXPECT_STREQ(SimConnectExceptionName(37), "SIMCONNECT_EXCEPTION_OBJECT_SCHEDULE");
    EXPECT_EQ(SimConnectExceptionName(38), nullptr);
    EXPECT_EQ(LastSentPacketId(nullptr), 0u) << "a failed query gives 0";
    EXPECT_FALSE(IsValidSimConnectHandle(nullptr));
    EXPECT_FALSE(IsValidSimConnectHandle(INVALID_HANDLE_VALUE));
}
