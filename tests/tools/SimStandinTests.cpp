#include "StandinHarness.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace standin_test;

namespace {

enum : uint32_t {
    OpenReq = 0x01,
    MapClientEvent = 0x04,
    TransmitClientEvent = 0x05,
    AddToGroup = 0x07,
    AddToDataDefinition = 0x0C,
    RequestDataOnSimObject = 0x0E,
    Subscribe = 0x17,
    Unsubscribe = 0x18,
    RequestSystemState = 0x35,
    MapClientDataName = 0x37,
    AddToClientDataDefinition = 0x39,
    SetClientData = 0x3C,
};

enum : uint32_t {
    ExceptionMsg = 1,
    OpenMsg = 2,
    QuitMsg = 3,
    EventMsg = 4,
    EventFilenameMsg = 6,
    EventFrameMsg = 7,
    SimObjectDataMsg = 8,
    SystemStateMsg = 15,
};

double F64At(const Bytes& bytes, size_t offset) {
    double value = 0;
    if (offset + 8 <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, 8);
    return value;
}

Body Page(const Bytes& payload) {
    Bytes page(4096, 0);
    page[0] = uint8_t(payload.size());
    page[1] = uint8_t(payload.size() >> 8);
    std::copy(payload.begin(), payload.end(), page.begin() + 2);
    return Body().Raw(page);
}

// The next EVENT for that event id, skipping every other message.
bool ReceiveEvent(RawClient& client, uint32_t eventId, Bytes& message, DWORD timeoutMs = 3000) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (!client.ReceiveId(EventMsg, message, timeoutMs))
            return false;
        if (U32At(message, 16) == eventId)
            return true;
    }
    return false;
}

} // namespace

TEST(SimStandin, OpensAnswersStatesAndRefusesBadRequestsOverThePipe) {
    StandinProcess standin({L"--aircraft", L"SimObjects\\Airplanes\\Test\\aircraft.cfg", L"--sim",
                            L"0", L"--frame-ms", L"0"});
    ASSERT_TRUE(standin.Ready());
    RawClient client = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(client.Connected());
    Bytes message;

    // Nothing but Open is taken before Open.
    uint32_t early = client.Request(RequestSystemState, Body().U32(0).Str("Sim", 256));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 8), ExceptionMsg);
    EXPECT_EQ(U32At(message, 12), 1u);
    EXPECT_EQ(U32At(message, 16), early);

    client.Open();
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 8), OpenMsg);
    EXPECT_EQ(message.size(), 308u);

    client.Request(RequestSystemState, Body().U32(0).Str("AircraftLoaded", 256));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 8), SystemStateMsg);
    EXPECT_EQ(message.size(), 284u);
    EXPECT_EQ(U32At(message, 12), 0u);
    EXPECT_EQ(StrAt(message, 24), "SimObjects\\Airplanes\\Test\\aircraft.cfg");

    client.Request(RequestSystemState, Body().U32(1).Str("Sim", 256));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 12), 1u);
    EXPECT_EQ(U32At(message, 16), 0u);

    uint32_t bogus = client.Request(RequestSystemState, Body().U32(7).Str("Bogus", 256));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 8), ExceptionMsg);
    EXPECT_EQ(U32At(message, 12), 3u);
    EXPECT_EQ(U32At(message, 16), bogus);
    EXPECT_EQ(U32At(message, 20), 2u);

    // A request one byte short of its layout, and a number outside the family.
    uint32_t shortOne = client.Request(RequestSystemState, Body().U32(7).Str("Sim", 255));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 12), 1u);
    EXPECT_EQ(U32At(message, 16), shortOne);
    uint32_t unknown = client.Request(0x7F, Body().U32(1));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 12), 1u);
    EXPECT_EQ(U32At(message, 16), unknown);

    ASSERT_TRUE(standin.WaitForRecord("Unknown0xF000007F"));
    std::string record = standin.Record();
    EXPECT_NE(record.find(" 1 - connected Transport=pipe\n"), std::string::npos);
    EXPECT_NE(record.find(" 1 2 Open szName=\"tester\" Words=0,4933632,11,0,62651,3\n"),
              std::string::npos);
    EXPECT_NE(record.find(" 1 5 RequestSystemState RequestID=7 szState=\"Bogus\"\n"),
              std::string::npos);
    EXPECT_NE(record.find(" 1 - exception Exception=3 SendID=5 Index=2\n"), std::string::npos);
    EXPECT_NE(record.find("BadSize=275"), std::string::npos);
}

TEST(SimStandin, KeepsAFreePipeInstanceForEveryNewClient) {
    StandinProcess standin({L"--frame-ms", L"0"});
    ASSERT_TRUE(standin.Ready());
    std::vector<RawClient> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(RawClient::ConnectPipe(standin.PipePath()));
        ASSERT_TRUE(clients.back().Connected()) << "client " << i << " error " << GetLastError();
    }
    Bytes message;
    for (auto& client : clients) {
        client.Open();
        ASSERT_TRUE(client.Receive(message));
        EXPECT_EQ(U32At(message, 8), OpenMsg);
    }
    EXPECT_TRUE(standin.WaitForRecord(" 4 - connected Transport=pipe"));
}

TEST(SimStandin, SendsSubscribedSystemEvents) {
    StandinProcess standin({L"--frame-ms", L"20"});
    ASSERT_TRUE(standin.Ready());
    RawClient client = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(client.Connected());
    client.Open();
    client.Request(Subscribe, Body().U32(10).Str("sim", 256)); // names ignore case
    client.Request(Subscribe, Body().U32(11).Str("Frame", 256));
    client.Request(Subscribe, Body().U32(12).Str("6Hz", 256));
    client.Request(Subscribe, Body().U32(13).Str("AircraftLoaded", 256));
    Bytes message;
    ASSERT_TRUE(client.ReceiveId(EventFrameMsg, message));
    EXPECT_EQ(U32At(message, 12), 0xFFFFFFFFu);
    EXPECT_EQ(U32At(message, 16), 11u);
    ASSERT_TRUE(ReceiveEvent(client, 12, message));

    standin.Command("sim 0");
    ASSERT_TRUE(ReceiveEvent(client, 10, message));
    EXPECT_EQ(U32At(message, 20), 0u);
    standin.Command("sim 1");
    ASSERT_TRUE(ReceiveEvent(client, 10, message));
    EXPECT_EQ(U32At(message, 20), 1u);

    standin.Command("aircraft C:\\Planes\\Other\\aircraft.cfg");
    ASSERT_TRUE(client.ReceiveId(EventFilenameMsg, message));
    EXPECT_EQ(U32At(message, 16), 13u);
    EXPECT_EQ(StrAt(message, 24), "C:\\Planes\\Other\\aircraft.cfg");

    uint32_t sendId = client.Request(Unsubscribe, Body().U32(99));
    ASSERT_TRUE(client.ReceiveId(ExceptionMsg, message));
    EXPECT_EQ(U32At(message, 12), 2u);
    EXPECT_EQ(U32At(message, 16), sendId);
}

TEST(SimStandin, SendsDataPerFrameOnlyWhenValuesChange) {
    StandinProcess standin({L"--frame-ms", L"20", L"--value", L"ALT=100", L"--value", L"TITLE=ab"});
    ASSERT_TRUE(standin.Ready());
    RawClient client = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(client.Connected());
    client.Open();
    auto field = [&](const char* name, uint32_t type) {
        client.Request(AddToDataDefinition,
                       Body().U32(3).Str(name, 256).Str("", 256).U32(type).F32(0).U32(0xFFFFFFFF));
    };
    field("ALT", 1);   // INT32
    field("SPEED", 4); // FLOAT64
    field("TITLE", 5); // STRING8
    field("NAME", 11); // STRINGV
    client.Request(RequestDataOnSimObject,
                   Body().U32(5).U32(3).U32(0).U32(3).U32(1).U32(0).U32(0).U32(0));
    Bytes message;
    ASSERT_TRUE(client.ReceiveId(SimObjectDataMsg, message));
    ASSERT_EQ(message.size(), 64u);
    EXPECT_EQ(U32At(message, 12), 5u); // request id
    EXPECT_EQ(U32At(message, 20), 3u); // define id
    EXPECT_EQ(U32At(message, 36), 4u); // field count
    EXPECT_EQ(U32At(message, 40), 100u);
    EXPECT_EQ(F64At(message, 44), 0.0);
    EXPECT_EQ(Bytes(message.begin() + 52, message.begin() + 60),
              (Bytes{'a', 'b', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(U32At(message, 60), 0u); // empty variable string: NUL padded to 4

    // Unchanged values are not sent again.
    EXPECT_FALSE(client.ReceiveId(SimObjectDataMsg, message, 300));
    standin.Command("set SPEED = 2.5");
    ASSERT_TRUE(client.ReceiveId(SimObjectDataMsg, message));
    EXPECT_EQ(F64At(message, 44), 2.5);
    standin.Command("set NAME = hello");
    ASSERT_TRUE(client.ReceiveId(SimObjectDataMsg, message));
    ASSERT_EQ(message.size(), 68u);
    EXPECT_EQ(StrAt(message, 60), "hello");

    // Period never ends the request; a request for an empty define is refused.
    client.Request(RequestDataOnSimObject,
                   Body().U32(5).U32(3).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0));
    uint32_t refused = client.Request(
        RequestDataOnSimObject, Body().U32(6).U32(9).U32(0).U32(3).U32(1).U32(0).U32(0).U32(0));
    ASSERT_TRUE(client.ReceiveId(ExceptionMsg, message));
    EXPECT_EQ(U32At(message, 16), refused);
    EXPECT_EQ(U32At(message, 20), 2u);
    standin.Command("set ALT = 7");
    EXPECT_FALSE(client.ReceiveId(SimObjectDataMsg, message, 300));
}

TEST(SimStandin, HelperAnswersCommandPagesAndClientEventsReachGroups) {
    StandinProcess standin({L"--frame-ms", L"0"});
    ASSERT_TRUE(standin.Ready());
    RawClient client = RawClient::ConnectPipe(standin.PipePath());
    RawClient other = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(other.Connected());
    client.Open();
    other.Open();
    Bytes message;
    ASSERT_TRUE(other.ReceiveId(OpenMsg, message));

    client.Request(MapClientEvent, Body().U32(20).Str("BKF.XPARAM.CMD_FINISHED", 256));
    client.Request(AddToGroup, Body().U32(4).U32(20).U32(0));
    client.Request(AddToClientDataDefinition,
                   Body().U32(0).U32(0).U32(4096).F32(0).U32(0xFFFFFFFF));
    client.Request(MapClientDataName, Body().Str("BKF.CMD.00000003", 256).U32(3));
    client.Request(SetClientData, Body().U32(3).U32(0).U32(0).U32(0).U32(4096).Raw(
                                      Page({0xaa, 0xbb, 0xcc}).Data()));
    ASSERT_TRUE(ReceiveEvent(client, 20, message));
    EXPECT_EQ(U32At(message, 12), 4u);
    EXPECT_EQ(U32At(message, 20), 3u);
    EXPECT_TRUE(standin.WaitForRecord("helper-page Page=3 PayloadLength=3 Payload=aabbcc\n"));
    EXPECT_NE(standin.Record().find("Area=\"BKF.CMD.00000003\""), std::string::npos);

    // Held pages are answered only when released.
    standin.Command("helper hold");
    ASSERT_TRUE(standin.WaitForRecord("\"helper hold\""));
    client.Request(SetClientData,
                   Body().U32(3).U32(0).U32(0).U32(0).U32(4096).Raw(Page({1}).Data()));
    EXPECT_FALSE(ReceiveEvent(client, 20, message, 300));
    standin.Command("helper answer");
    ASSERT_TRUE(ReceiveEvent(client, 20, message));
    EXPECT_EQ(U32At(message, 20), 3u);

    // A client-data id that names no area is refused.
    uint32_t refused = client.Request(
        SetClientData, Body().U32(9).U32(0).U32(0).U32(0).U32(4096).Raw(Page({1}).Data()));
    ASSERT_TRUE(client.ReceiveId(ExceptionMsg, message));
    EXPECT_EQ(U32At(message, 12), 2u);
    EXPECT_EQ(U32At(message, 16), refused);

    // A transmitted client event reaches every client that put its name into a group.
    other.Request(MapClientEvent, Body().U32(2).Str("BKF.PLGN.Show", 256));
    other.Request(AddToGroup, Body().U32(1).U32(2).U32(0));
    ASSERT_TRUE(standin.WaitForRecord("AddClientEventToNotificationGroup GroupID=1"));
    client.Request(MapClientEvent, Body().U32(30).Str("BKF.PLGN.Show", 256));
    client.Request(TransmitClientEvent, Body().U32(0).U32(30).U32(42).U32(1).U32(0));
    ASSERT_TRUE(ReceiveEvent(other, 2, message));
    EXPECT_EQ(U32At(message, 12), 1u);
    EXPECT_EQ(U32At(message, 20), 42u);
    EXPECT_TRUE(
        standin.WaitForRecord("TransmitClientEvent ObjectID=0 EventID=30 dwData=42 GroupID=1 "
                              "Flags=0 Name=\"BKF.PLGN.Show\"\n"));
}

TEST(SimStandin, RunsAScriptOverTcpAndQuits) {
    StandinProcess standin({L"--frame-ms", L"0"}, "# greet the first client, then stop\n"
                                                  "0 wait-open 1\n"
                                                  "0 raw 0c000000 05000000 63000000\n"
                                                  "0 packet 5000 100\n"
                                                  "100 quit\n");
    ASSERT_TRUE(standin.Ready());
    ASSERT_NE(standin.Port("ipv4"), 0);
    unsigned short ipv6Port = standin.Port("ipv6");
    RawClient viaIpv6 = RawClient::ConnectTcp(AF_INET6, ipv6Port);
    if (ipv6Port) {
        EXPECT_TRUE(viaIpv6.Connected());
    }
    RawClient client = RawClient::ConnectTcp(AF_INET, standin.Port("ipv4"));
    ASSERT_TRUE(client.Connected());
    client.Open();
    Bytes message;
    ASSERT_TRUE(client.ReceiveId(OpenMsg, message));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(message, (Bytes{12, 0, 0, 0, 5, 0, 0, 0, 0x63, 0, 0, 0}));
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(message.size(), 5000u);
    EXPECT_EQ(U32At(message, 8), 100u);
    ASSERT_TRUE(client.Receive(message));
    EXPECT_EQ(U32At(message, 8), QuitMsg);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(standin.WaitExit(5000), 0);
    std::string record = standin.Record();
    EXPECT_NE(record.find(" 1 - connected Transport=ipv"), std::string::npos);
    EXPECT_NE(record.find("- sent QUIT"), std::string::npos);
}

TEST(SimStandin, ClosesStreamsOnDisconnectAndOnUnframeablePackets) {
    StandinProcess standin({L"--frame-ms", L"0"});
    ASSERT_TRUE(standin.Ready());
    RawClient client = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(client.Connected());
    client.Open();
    Bytes message;
    ASSERT_TRUE(client.ReceiveId(OpenMsg, message));
    standin.Command("disconnect");
    EXPECT_TRUE(client.WaitClosed());

    RawClient bad = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(bad.Connected());
    bad.SendBytes({8, 0, 0, 0, 5, 0, 0, 0});
    EXPECT_TRUE(bad.WaitClosed());
    EXPECT_TRUE(standin.WaitForRecord(" 2 - bad-packet Size=8\n"));
}

TEST(SimStandin, ScriptAndStdinCommandsRefuseAndInjectMessages) {
    StandinProcess standin({L"--frame-ms", L"0"},
                           "0 wait-request AddClientEventToNotificationGroup\n"
                           "0 clientevent BKF.PLGN.Show 5\n"
                           "0 event 6Hz 0\n");
    ASSERT_TRUE(standin.Ready());
    RawClient client = RawClient::ConnectPipe(standin.PipePath());
    ASSERT_TRUE(client.Connected());
    client.Open();
    client.Request(Subscribe, Body().U32(3).Str("6hz", 256));
    client.Request(MapClientEvent, Body().U32(8).Str("BKF.PLGN.Show", 256));
    client.Request(AddToGroup, Body().U32(2).U32(8).U32(0));
    Bytes message;
    ASSERT_TRUE(ReceiveEvent(client, 8, message));
    EXPECT_EQ(U32At(message, 12), 2u);
    EXPECT_EQ(U32At(message, 20), 5u);
    ASSERT_TRUE(ReceiveEvent(client, 3, message));

    standin.Command("refuse SubscribeToSystemEvent 7");
    ASSERT_TRUE(standin.WaitForRecord("\"refuse SubscribeToSystemEvent 7\""));
    uint32_t refused = client.Request(Subscribe, Body().U32(4).Str("Sim", 256));
    ASSERT_TRUE(client.ReceiveId(ExceptionMsg, message));
    EXPECT_EQ(U32At(message, 12), 7u);
    EXPECT_EQ(U32At(message, 16), refused);
    standin.Command("accept 0x17");
    standin.Command("exception 9");
    ASSERT_TRUE(client.ReceiveId(ExceptionMsg, message));
    EXPECT_EQ(U32At(message, 12), 9u);
    EXPECT_EQ(U32At(message, 16), refused); // the last send id received
    client.Request(Subscribe, Body().U32(5).Str("Sim", 256));
    ASSERT_TRUE(
        standin.WaitForRecord("SubscribeToSystemEvent EventID=5 SystemEventName=\"Sim\"\n"));
    standin.Command("sim 0");
    ASSERT_TRUE(ReceiveEvent(client, 5, message));

    standin.Command("set nothing here");
    EXPECT_TRUE(standin.WaitForRecord("command-error \"set nothing here\""));
}

// Serves the default pipe and writes the registry port values: the test holds the
// simconnect_endpoints resource lock.
TEST(SimStandin, PublishesPortsInTheRegistryAndRefusesASecondServerOfOnePipe) {
    const char* key = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
    auto readPort = [key](const char* name) {
        char value[20] = {};
        DWORD size = sizeof value;
        if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
            ERROR_SUCCESS)
            return std::string();
        return std::string(value);
    };
    {
        StandinProcess standin({L"--frame-ms", L"0"}, "", false);
        ASSERT_TRUE(standin.Ready());
        EXPECT_EQ(readPort("SimConnect_Port_IPv4"), std::to_string(standin.Port("ipv4")));
        if (standin.Port("ipv6") != 0) {
            EXPECT_EQ(readPort("SimConnect_Port_IPv6"), std::to_string(standin.Port("ipv6")));
        }
        RawClient client = RawClient::ConnectPipe(standin.PipePath());
        ASSERT_TRUE(client.Connected());
        client.Open();
        Bytes message;
        ASSERT_TRUE(client.ReceiveId(OpenMsg, message));

        StandinProcess second({L"--frame-ms", L"0", L"--no-registry", L"--no-ipv4", L"--no-ipv6"},
                              "", false);
        EXPECT_FALSE(second.Ready());
        EXPECT_EQ(second.WaitExit(5000), 2);

        standin.Command("quit");
        ASSERT_TRUE(client.ReceiveId(QuitMsg, message));
        EXPECT_EQ(standin.WaitExit(5000), 0);
    }
    EXPECT_EQ(readPort("SimConnect_Port_IPv4"), "");
    EXPECT_EQ(readPort("SimConnect_Port_IPv6"), "");
}
