// Framing of received packets, the receive queue, notifications and the close
// codes, over the pipe and over TCP.

#include "TestPeer.h"

#include "simconnect/SimConnect.h"

#include <gtest/gtest.h>

using simconnect::ClientClient;

namespace {

class FramingTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { peer = GetParam() ? MakePipePeer() : MakeTcpPeer(); }
    void TearDown() override {
        if (client)
            simconnect::DestroyClient(client);
    }
    void Connect(uint32_t maxReceiveSize = 41088) {
        client = peer->ConnectClient(maxReceiveSize);
        ASSERT_NE(client, nullptr);
        client->SetNotification(nullptr, window.Handle(), NotifyMessage, nullptr);
    }
    bool WaitQueued(uint32_t count) {
        return WaitFor([&] { return client->ReceiveQueueCount() >= count; });
    }
    bool WaitClosed() {
        return WaitFor([&] { return client->IsClosed(); });
    }
    // Drains the queue and returns the packets' ids.
    std::vector<uint32_t> Drain(HRESULT* last = nullptr) {
        std::vector<uint32_t> ids;
        for (;;) {
            SIMCONNECT_RECV* data = nullptr;
            DWORD size = 0;
            HRESULT result = SimConnect_GetNextDispatch(client, &data, &size);
            if (!data) {
                if (last)
                    *last = result;
                return ids;
            }
            EXPECT_EQ(result, S_OK);
            EXPECT_EQ(size, data->dwSize);
            ids.push_back(data->dwID);
        }
    }

    std::unique_ptr<TestPeer> peer;
    ClientClient* client = nullptr;
    NotifyWindow window;
};

std::vector<uint8_t> Join(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<uint8_t> joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

} // namespace

TEST_P(FramingTest, TwoPacketsInOneWriteAndOneSplitOverThree) {
    Connect();
    peer->Write(Join(MakePacket(20, 4), MakePacket(24, 15)));
    ASSERT_TRUE(WaitQueued(2));

    std::vector<uint8_t> split = MakePacket(300, 8);
    peer->Write(split.data(), 2);
    Sleep(100);
    peer->Write(split.data() + 2, 100);
    Sleep(100);
    EXPECT_EQ(client->ReceiveQueueCount(), 2u) << "no packet before its last byte";
    peer->Write(split.data() + 102, split.size() - 102);
    ASSERT_TRUE(WaitQueued(3));

    HRESULT last = S_OK;
    EXPECT_EQ(Drain(&last), (std::vector<uint32_t>{4, 15, 8}));
    EXPECT_EQ(last, E_FAIL) << "empty queue of an open connection";
    EXPECT_EQ(window.Drain(), 3) << "one message per packet";
}

TEST_P(FramingTest, PacketOfExactlyMaxReceiveSizeIsAccepted) {
    Connect();
    peer->Write(MakePacket(41088, 16));
    ASSERT_TRUE(WaitQueued(1));
    SIMCONNECT_RECV* data = nullptr;
    DWORD size = 0;
    ASSERT_EQ(SimConnect_GetNextDispatch(client, &data, &size), S_OK);
    EXPECT_EQ(size, 41088u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(data)[41087], 0xAB);
    EXPECT_FALSE(client->IsClosed());
}

TEST_P(FramingTest, PacketOneByteAboveMaxReceiveSizeCloses) {
    Connect();
    peer->Write(MakePacket(20, 4));
    peer->Write(MakePacket(41089, 16));
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(client->CloseReason(), simconnect::CloseTooLarge);
    HRESULT last = S_OK;
    EXPECT_EQ(Drain(&last), (std::vector<uint32_t>{4}));
    EXPECT_EQ(last, static_cast<HRESULT>(0x80004004));
    EXPECT_EQ(SimConnect_ClearNotificationGroup(client, 1), static_cast<HRESULT>(0x80004004))
        << "requests after the close report it";
    EXPECT_EQ(window.Drain(), 2) << "one for the packet, one for the loss";
}

TEST_P(FramingTest, SizePrefixesBelowFourClose) {
    for (uint32_t prefix = 0; prefix < 4; ++prefix) {
        SCOPED_TRACE(prefix);
        if (client) {
            simconnect::DestroyClient(client);
            client = nullptr;
        }
        peer = GetParam() ? MakePipePeer() : MakeTcpPeer();
        Connect();
        std::vector<uint8_t> bytes(8, 0);
        bytes[0] = static_cast<uint8_t>(prefix);
        peer->Write(bytes);
        ASSERT_TRUE(WaitClosed());
        EXPECT_EQ(client->CloseReason(), simconnect::CloseTooSmall);
        HRESULT last = S_OK;
        EXPECT_TRUE(Drain(&last).empty());
        EXPECT_EQ(last, static_cast<HRESULT>(0x80004004));
    }
}

TEST_P(FramingTest, ReceiveBufferGrowsInStepsTo6144) {
    Connect();
    EXPECT_EQ(client->ReceiveCapacity(), 2048);
    peer->Write(MakePacket(5000, 8));
    ASSERT_TRUE(WaitQueued(1));
    EXPECT_EQ(client->ReceiveCapacity(), 6144);
    EXPECT_EQ(Drain(), (std::vector<uint32_t>{8}));
}

TEST_P(FramingTest, PacketAboveOneMebibyteClosesInsteadOfLooping) {
    Connect(0x200000);
    std::vector<uint8_t> huge = MakePacket(0x100000 + 4096, 8);
    peer->Write(huge.data(), 0x100000 + 16);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(client->CloseReason(), simconnect::CloseTooLarge);
    EXPECT_EQ(client->ReceiveCapacity(), 0x100000);
    HRESULT last = S_OK;
    EXPECT_TRUE(Drain(&last).empty());
    EXPECT_EQ(last, static_cast<HRESULT>(0x80004004));
}

TEST_P(FramingTest, PeerClosingEndsWithItsCodeAfterTheQueuedPackets) {
    Connect();
    peer->Write(Join(MakePacket(16, 4), MakePacket(16, 3)));
    ASSERT_TRUE(WaitQueued(2));
    peer->CloseConnection();
    ASSERT_TRUE(WaitClosed());
    uint32_t expected = GetParam() ? 0xC000014B : 0xC000013E;
    EXPECT_EQ(client->CloseReason(), GetParam() ? 5u : 4u);
    HRESULT last = S_OK;
    EXPECT_EQ(Drain(&last), (std::vector<uint32_t>{4, 3}));
    EXPECT_EQ(last, static_cast<HRESULT>(expected));
    EXPECT_EQ(window.Drain(), 3);
    EXPECT_EQ(SimConnect_TransmitClientEvent(client, 0, 1, 0, 1, 0x10),
              static_cast<HRESULT>(expected));
}

TEST_P(FramingTest, RequestsAreWrittenInOrder) {
    Connect();
    for (DWORD i = 0; i < 200; ++i)
        ASSERT_EQ(SimConnect_TransmitClientEvent(client, 0, i, i * 3, 1, 0x10), S_OK);
    std::vector<uint8_t> bytes = peer->Read(200 * 36);
    ASSERT_EQ(bytes.size(), 200u * 36);
    for (DWORD i = 0; i < 200; ++i) {
        ASSERT_EQ(ReadU32(bytes, i * 36 + 12), i + 1);
        ASSERT_EQ(ReadU32(bytes, i * 36 + 20), i);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, FramingTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Pipe" : "Tcp";
                         });

TEST(WriteFailure, AWriteRefusedAtOnceClosesTheConnection) {
    // A server that only writes: the client's handle can read but not write.
    std::string name = "\\\\.\\pipe\\" + UniquePipeName();
    HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096,
                                     4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE readOnly = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(BindIoCompletionCallback(readOnly, simconnect::IoCompletion, 0));
    NotifyWindow window;
    auto* client = new ClientClient(simconnect::KindPipe);
    client->Attach(readOnly, 0, 41088, false);
    client->Reset();
    client->StartRead();
    client->SetNotification(nullptr, window.Handle(), NotifyMessage, nullptr);

    EXPECT_EQ(SimConnect_ClearNotificationGroup(client, 1), S_OK);
    EXPECT_TRUE(client->IsClosed());
    HRESULT code = SimConnect_ClearNotificationGroup(client, 2);
    EXPECT_LT(code, 0) << "later requests report the loss";
    SIMCONNECT_RECV* data = nullptr;
    DWORD size = 0;
    EXPECT_EQ(SimConnect_GetNextDispatch(client, &data, &size), code);
    EXPECT_GE(window.Drain(), 1);
    simconnect::DestroyClient(client);
    CloseHandle(server);
}
