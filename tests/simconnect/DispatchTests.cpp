// Taking received packets and reading strings out of them.

#include "TestPeer.h"

#include "simconnect/SimConnect.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(RetrieveString, SizesAndLimits) {
    alignas(4) uint8_t packet[64] = {};
    SIMCONNECT_RECV* recv = reinterpret_cast<SIMCONNECT_RECV*>(packet);
    char* text = nullptr;
    DWORD size = 0;
    memcpy(packet + 12, "abcde", 6);
    ASSERT_EQ(SimConnect_RetrieveString(recv, 64, packet + 12, &text, &size), S_OK);
    EXPECT_STREQ(text, "abcde");
    EXPECT_EQ(size, 8u);
    memcpy(packet + 12, "abcd", 5);
    ASSERT_EQ(SimConnect_RetrieveString(recv, 64, packet + 12, &text, &size), S_OK);
    EXPECT_EQ(size, 8u);
    packet[12] = 0;
    ASSERT_EQ(SimConnect_RetrieveString(recv, 64, packet + 12, &text, &size), S_OK);
    EXPECT_EQ(size, 4u);

    memset(packet + 12, 'x', 52);
    EXPECT_EQ(SimConnect_RetrieveString(recv, 64, packet + 12, &text, &size), E_FAIL)
        << "no NUL within the packet";
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(SimConnect_RetrieveString(recv, 12, packet + 12, &text, &size), E_FAIL)
        << "nothing left";
    EXPECT_EQ(SimConnect_RetrieveString(recv, 8, packet + 12, &text, &size), E_FAIL)
        << "start beyond the packet";
    EXPECT_EQ(SimConnect_RetrieveString(recv, 0, packet + 12, &text, &size), E_FAIL);
    EXPECT_EQ(SimConnect_RetrieveString(recv, 64, nullptr, &text, &size), E_FAIL);
    EXPECT_EQ(SimConnect_RetrieveString(recv, 64, packet + 12, nullptr, &size), E_FAIL);
    packet[20] = 0;
    EXPECT_EQ(SimConnect_RetrieveString(recv, 64, packet + 12, &text, nullptr), S_OK);
}

TEST(InsertString, PadsToFourBytes) {
    char buffer[16];
    memset(buffer, 0x55, sizeof(buffer));
    void* end = nullptr;
    DWORD size = 0;
    ASSERT_EQ(SimConnect_InsertString(buffer, 16, &end, &size, "abcde"), S_OK);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(end, buffer + 8);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(buffer[6], 0);
    EXPECT_EQ(buffer[7], 0);
    EXPECT_EQ(SimConnect_InsertString(buffer, 7, &end, &size, "abcde"), E_FAIL)
        << "no room for the padding";
    EXPECT_EQ(SimConnect_InsertString(buffer, 5, &end, &size, "abcde"), E_INVALIDARG);
    EXPECT_EQ(SimConnect_InsertString(nullptr, 16, &end, &size, "a"), E_FAIL);
}

TEST(GetNextDispatch, ShortPacketsAreDroppedOneCallEach) {
    auto peer = MakePipePeer();
    simconnect::ClientClient* client = peer->ConnectClient();
    ASSERT_NE(client, nullptr);
    SIMCONNECT_RECV* data = reinterpret_cast<SIMCONNECT_RECV*>(1);
    DWORD size = 5;
    EXPECT_EQ(SimConnect_GetNextDispatch(client, &data, &size), E_FAIL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);

    std::vector<uint8_t> bytes = MakePacket(8, 0);
    std::vector<uint8_t> good = MakePacket(16, 4);
    bytes.insert(bytes.end(), good.begin(), good.end());
    peer->Write(bytes);
    ASSERT_TRUE(WaitFor([&] { return client->ReceiveQueueCount() == 2; }));
    EXPECT_EQ(SimConnect_GetNextDispatch(client, &data, &size), E_FAIL);
    EXPECT_EQ(data, nullptr) << "a packet under 12 bytes is never handed out";
    ASSERT_EQ(SimConnect_GetNextDispatch(client, &data, &size), S_OK);
    EXPECT_EQ(data->dwID, 4u);
    EXPECT_EQ(size, 16u);

    // CallDispatch hands every queued packet to the callback.
    peer->Write(MakePacket(20, 15));
    peer->Write(MakePacket(24, 7));
    ASSERT_TRUE(WaitFor([&] { return client->ReceiveQueueCount() == 2; }));
    std::vector<DWORD> seen;
    ASSERT_EQ(SimConnect_CallDispatch(
                  client,
                  [](SIMCONNECT_RECV* packet, DWORD, void* context) {
                      static_cast<std::vector<DWORD>*>(context)->push_back(packet->dwID);
                  },
                  &seen),
              S_OK);
    EXPECT_EQ(seen, (std::vector<DWORD>{15, 7}));
    EXPECT_EQ(SimConnect_Close(client), S_OK);
}
