// Exact bytes of the request packets, the send-id counter and string fields.

#include "TestPeer.h"

#include "simconnect/SimConnect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using simconnect::ClientClient;

namespace {

struct Field {
    uint32_t offset;
    enum { U32, F32, Text } kind;
    uint32_t u32;
    float f32;
    const char* text;
    uint32_t width; // text field size
};

Field U(uint32_t offset, uint32_t value) {
    return {offset, Field::U32, value, 0, nullptr, 0};
}
Field F(uint32_t offset, float value) {
    return {offset, Field::F32, 0, value, nullptr, 0};
}
Field T(uint32_t offset, const char* text, uint32_t width) {
    return {offset, Field::Text, 0, 0, text, width};
}

struct RequestCase {
    const char* name;
    std::function<HRESULT(HANDLE)> call;
    uint32_t size;
    uint32_t number;
    std::vector<Field> fields;
};

class PacketTest : public ::testing::Test {
protected:
    void SetUp() override {
        peer = MakePipePeer();
        client = peer->ConnectClient();
        ASSERT_NE(client, nullptr);
    }
    void TearDown() override {
        if (client)
            simconnect::DestroyClient(client);
    }

    std::vector<uint8_t> NextPacket(uint32_t expectedSize) { return peer->Read(expectedSize); }

    std::unique_ptr<TestPeer> peer;
    ClientClient* client = nullptr;
};

void CheckFields(const RequestCase& request, const std::vector<uint8_t>& bytes, uint32_t sendId) {
    SCOPED_TRACE(request.name);
    ASSERT_EQ(bytes.size(), request.size);
    EXPECT_EQ(ReadU32(bytes, 0), request.size);
    EXPECT_EQ(ReadU32(bytes, 4), 5u);
    EXPECT_EQ(ReadU32(bytes, 8), 0xF0000000u | request.number);
    EXPECT_EQ(ReadU32(bytes, 12), sendId);
    std::vector<bool> covered(bytes.size(), false);
    for (int i = 0; i < 16; ++i)
        covered[i] = true;
    for (const Field& field : request.fields) {
        SCOPED_TRACE(field.offset);
        if (field.kind == Field::U32) {
            EXPECT_EQ(ReadU32(bytes, field.offset), field.u32);
        } else if (field.kind == Field::F32) {
            float value;
            memcpy(&value, bytes.data() + field.offset, 4);
            EXPECT_EQ(value, field.f32);
        } else {
            std::string text(reinterpret_cast<const char*>(bytes.data() + field.offset));
            EXPECT_EQ(text, field.text);
        }
        uint32_t width = field.kind == Field::Text ? field.width : 4;
        for (uint32_t i = 0; i < width; ++i)
            covered[field.offset + i] = true;
    }
    // Every byte no field claims is zero (the rest of each string array too).
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!covered[i]) {
            EXPECT_EQ(bytes[i], 0) << "at offset " << i;
        }
    }
    for (const Field& field : request.fields) {
        if (field.kind != Field::Text)
            continue;
        for (uint32_t i = static_cast<uint32_t>(strlen(field.text)); i < field.width; ++i)
            EXPECT_EQ(bytes[field.offset + i], 0) << "string tail at " << field.offset + i;
    }
}

std::vector<RequestCase> ProgramRequests() {
    static uint8_t page[4096];
    for (size_t i = 0; i < sizeof(page); ++i)
        page[i] = static_cast<uint8_t>(i * 7 + 1);
    return {
        {"MapClientEventToSimEvent",
         [](HANDLE h) { return SimConnect_MapClientEventToSimEvent(h, 17, "AP_MASTER"); },
         276,
         0x04,
         {U(16, 17), T(20, "AP_MASTER", 256)}},
        {"TransmitClientEvent",
         [](HANDLE h) { return SimConnect_TransmitClientEvent(h, 0, 23, 0xDEADBEEF, 1, 0x12); },
         36,
         0x05,
         {U(16, 0), U(20, 23), U(24, 0xDEADBEEF), U(28, 1), U(32, 0x12)}},
        {"AddClientEventToNotificationGroup",
         [](HANDLE h) { return SimConnect_AddClientEventToNotificationGroup(h, 3, 9, TRUE); },
         28,
         0x07,
         {U(16, 3), U(20, 9), U(24, 1)}},
        {"SetNotificationGroupPriority",
         [](HANDLE h) { return SimConnect_SetNotificationGroupPriority(h, 4, 1); },
         24,
         0x09,
         {U(16, 4), U(20, 1)}},
        {"ClearNotificationGroup",
         [](HANDLE h) { return SimConnect_ClearNotificationGroup(h, 5); },
         20,
         0x0A,
         {U(16, 5)}},
        {"AddToDataDefinition",
         [](HANDLE h) {
             return SimConnect_AddToDataDefinition(h, 6, "INDICATED ALTITUDE", "feet",
                                                   SIMCONNECT_DATATYPE_INT32, 0.5f, 42);
         },
         544,
         0x0C,
         {U(16, 6), T(20, "INDICATED ALTITUDE", 256), T(276, "feet", 256), U(532, 1), F(536, 0.5f),
          U(540, 42)}},
        {"ClearDataDefinition",
         [](HANDLE h) { return SimConnect_ClearDataDefinition(h, 7); },
         20,
         0x0D,
         {U(16, 7)}},
        {"RequestDataOnSimObject",
         [](HANDLE h) {
             return SimConnect_RequestDataOnSimObject(h, 8, 9, 0, SIMCONNECT_PERIOD_SIM_FRAME, 1,
                                                      10, 11, 12);
         },
         48,
         0x0E,
         {U(16, 8), U(20, 9), U(24, 0), U(28, 3), U(32, 1), U(36, 10), U(40, 11), U(44, 12)}},
        {"SubscribeToSystemEvent",
         [](HANDLE h) { return SimConnect_SubscribeToSystemEvent(h, 13, "6Hz"); },
         276,
         0x17,
         {U(16, 13), T(20, "6Hz", 256)}},
        {"UnsubscribeFromSystemEvent",
         [](HANDLE h) { return SimConnect_UnsubscribeFromSystemEvent(h, 14); },
         20,
         0x18,
         {U(16, 14)}},
        {"RequestSystemState",
         [](HANDLE h) { return SimConnect_RequestSystemState(h, 1, "Sim"); },
         276,
         0x35,
         {U(16, 1), T(20, "Sim", 256)}},
        {"MapClientDataNameToID",
         [](HANDLE h) { return SimConnect_MapClientDataNameToID(h, "BKF.CMD.00000002", 2); },
         276,
         0x37,
         {T(16, "BKF.CMD.00000002", 256), U(272, 2)}},
        {"AddToClientDataDefinition",
         [](HANDLE h) {
             return SimConnect_AddToClientDataDefinition(h, 1, 0, SIMCONNECT_CLIENTDATATYPE_FLOAT64,
                                                         0.25f, SIMCONNECT_UNUSED);
         },
         36,
         0x39,
         {U(16, 1), U(20, 0), U(24, 0xFFFFFFFA), F(28, 0.25f), U(32, 0xFFFFFFFF)}},
        {"SetClientData",
         [](HANDLE h) { return SimConnect_SetClientData(h, 2, 0, 0, 0, sizeof(page), page); },
         4132,
         0x3C,
         {U(16, 2), U(20, 0), U(24, 0), U(28, 0), U(32, 4096)}},
    };
}

} // namespace

TEST_F(PacketTest, ProgramRequestsCarryEveryFieldAtItsOffset) {
    uint32_t sendId = 0;
    for (const RequestCase& request : ProgramRequests()) {
        ASSERT_EQ(request.call(client), S_OK) << request.name;
        ++sendId;
        std::vector<uint8_t> bytes = NextPacket(request.size);
        if (std::string(request.name) == "SetClientData") {
            ASSERT_EQ(bytes.size(), 4132u);
            for (size_t i = 0; i < 4096; ++i)
                ASSERT_EQ(bytes[36 + i], static_cast<uint8_t>(i * 7 + 1)) << i;
            RequestCase header = request;
            for (size_t i = 0; i < 4096; ++i)
                bytes[36 + i] = 0;
            CheckFields(header, bytes, sendId);
        } else {
            CheckFields(request, bytes, sendId);
        }
        DWORD last = 0;
        EXPECT_EQ(SimConnect_GetLastSentPacketID(client, &last), S_OK);
        EXPECT_EQ(last, sendId);
    }
    EXPECT_EQ(peer->Available(), 0u);
}

TEST_F(PacketTest, StringLimitsAndSendIds) {
    std::string fits(255, 'a');
    std::string tooLong(256, 'b');
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(client, 1, fits.c_str()), S_OK);
    std::vector<uint8_t> first = NextPacket(276);
    ASSERT_EQ(first.size(), 276u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.data() + 20)), fits);
    EXPECT_EQ(ReadU32(first, 12), 1u);

    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(client, 2, tooLong.c_str()),
              static_cast<HRESULT>(0x8007007A));
    Sleep(50);
    EXPECT_EQ(peer->Available(), 0u) << "a refused request sends nothing";

    ASSERT_EQ(SimConnect_ClearNotificationGroup(client, 3), S_OK);
    std::vector<uint8_t> next = NextPacket(20);
    EXPECT_EQ(ReadU32(next, 12), 3u) << "the refused request used its send id";

    // Null strings send empty fields.
    ASSERT_EQ(SimConnect_AddToDataDefinition(client, 1, nullptr, nullptr), S_OK);
    std::vector<uint8_t> empty = NextPacket(544);
    ASSERT_EQ(empty.size(), 544u);
    for (size_t i = 20; i < 532; ++i)
        ASSERT_EQ(empty[i], 0) << i;
    EXPECT_EQ(ReadU32(empty, 532), static_cast<uint32_t>(SIMCONNECT_DATATYPE_FLOAT64));
    EXPECT_EQ(ReadU32(empty, 540), 0xFFFFFFFFu);

    // The counter skips 0 after 0xFFFFFFFF.
    client->SetSendID(0xFFFFFFFE);
    ASSERT_EQ(SimConnect_ClearDataDefinition(client, 1), S_OK);
    EXPECT_EQ(ReadU32(NextPacket(20), 12), 0xFFFFFFFFu);
    ASSERT_EQ(SimConnect_ClearDataDefinition(client, 1), S_OK);
    EXPECT_EQ(ReadU32(NextPacket(20), 12), 1u);
}

TEST_F(PacketTest, OtherRequestsHaveTheirNumberAndSize) {
    static uint8_t data[64] = {};
    SIMCONNECT_DATA_INITPOSITION position{};
    GUID guid{};
    struct Other {
        const char* name;
        std::function<HRESULT(HANDLE)> call;
        uint32_t number;
        uint32_t size;
    };
    const std::vector<Other> others = {
        {"AICreateEnrouteATCAircraft",
         [](HANDLE h) {
             return SimConnect_AICreateEnrouteATCAircraft(h, "t", "n", 1, "p", 1.5, 0, 2);
         },
         0x28, 564},
        {"AICreateNonATCAircraft",
         [&](HANDLE h) { return SimConnect_AICreateNonATCAircraft(h, "t", "n", position, 1); },
         0x29, 344},
        {"AICreateParkedATCAircraft",
         [](HANDLE h) { return SimConnect_AICreateParkedATCAircraft(h, "t", "n", "EGLL", 1); },
         0x27, 293},
        {"AICreateSimulatedObject",
         [&](HANDLE h) { return SimConnect_AICreateSimulatedObject(h, "t", position, 1); }, 0x2A,
         332},
        {"AIReleaseControl", [](HANDLE h) { return SimConnect_AIReleaseControl(h, 1, 2); }, 0x2B,
         24},
        {"AIRemoveObject", [](HANDLE h) { return SimConnect_AIRemoveObject(h, 1, 2); }, 0x2C, 24},
        {"AISetAircraftFlightPlan",
         [](HANDLE h) { return SimConnect_AISetAircraftFlightPlan(h, 1, "p", 2); }, 0x2D, 284},
        {"CameraSetRelative6DOF",
         [](HANDLE h) { return SimConnect_CameraSetRelative6DOF(h, 1, 2, 3, 4, 5, 6); }, 0x30, 40},
        {"ClearClientDataDefinition",
         [](HANDLE h) { return SimConnect_ClearClientDataDefinition(h, 1); }, 0x3A, 20},
        {"ClearInputGroup", [](HANDLE h) { return SimConnect_ClearInputGroup(h, 1); }, 0x14, 20},
        {"CompleteCustomMissionAction",
         [&](HANDLE h) { return SimConnect_CompleteCustomMissionAction(h, guid); }, 0x2F, 32},
        {"CreateClientData", [](HANDLE h) { return SimConnect_CreateClientData(h, 1, 2, 0); }, 0x38,
         28},
        {"ExecuteMissionAction", [&](HANDLE h) { return SimConnect_ExecuteMissionAction(h, guid); },
         0x2E, 32},
        {"FlightLoad", [](HANDLE h) { return SimConnect_FlightLoad(h, "f"); }, 0x3D, 276},
        {"FlightPlanLoad", [](HANDLE h) { return SimConnect_FlightPlanLoad(h, "f"); }, 0x3F, 276},
        {"FlightSave", [](HANDLE h) { return SimConnect_FlightSave(h, "f", "t", "d", 0); }, 0x3E,
         2588},
        {"MapInputEventToClientEvent",
         [](HANDLE h) { return SimConnect_MapInputEventToClientEvent(h, 1, "shift+a", 2); }, 0x11,
         296},
        {"MenuAddItem", [](HANDLE h) { return SimConnect_MenuAddItem(h, "m", 1, 2); }, 0x31, 280},
        {"MenuAddSubItem", [](HANDLE h) { return SimConnect_MenuAddSubItem(h, 1, "m", 2, 3); },
         0x33, 284},
        {"MenuDeleteItem", [](HANDLE h) { return SimConnect_MenuDeleteItem(h, 1); }, 0x32, 20},
        {"MenuDeleteSubItem", [](HANDLE h) { return SimConnect_MenuDeleteSubItem(h, 1, 2); }, 0x34,
         24},
        {"RemoveClientEvent", [](HANDLE h) { return SimConnect_RemoveClientEvent(h, 1, 2); }, 0x08,
         24},
        {"RemoveInputEvent", [](HANDLE h) { return SimConnect_RemoveInputEvent(h, 1, "a"); }, 0x13,
         276},
        {"RequestClientData", [](HANDLE h) { return SimConnect_RequestClientData(h, 1, 2, 3); },
         0x3B, 48},
        {"RequestDataOnSimObjectType",
         [](HANDLE h) {
             return SimConnect_RequestDataOnSimObjectType(h, 1, 2, 0,
                                                          SIMCONNECT_SIMOBJECT_TYPE_USER);
         },
         0x0F, 32},
        {"RequestFacilitiesList",
         [](HANDLE h) {
             return SimConnect_RequestFacilitiesList(h, SIMCONNECT_FACILITY_LIST_TYPE_VOR, 1);
         },
         0x43, 24},
        {"RequestNotificationGroup",
         [](HANDLE h) { return SimConnect_RequestNotificationGroup(h, 1); }, 0x0B, 28},
        {"RequestReservedKey",
         [](HANDLE h) { return SimConnect_RequestReservedKey(h, 1, "a", "b", "c"); }, 0x16, 110},
        {"SetDataOnSimObject (count 0 sent as 1)",
         [](HANDLE h) { return SimConnect_SetDataOnSimObject(h, 1, 0, 0, 0, 8, data); }, 0x10, 44},
        {"SetDataOnSimObject (count 3)",
         [](HANDLE h) { return SimConnect_SetDataOnSimObject(h, 1, 0, 0, 3, 8, data); }, 0x10, 60},
        {"SetInputGroupPriority",
         [](HANDLE h) { return SimConnect_SetInputGroupPriority(h, 1, 2); }, 0x12, 24},
        {"SetInputGroupState", [](HANDLE h) { return SimConnect_SetInputGroupState(h, 1, 1); },
         0x15, 24},
        {"SetSystemEventState",
         [](HANDLE h) { return SimConnect_SetSystemEventState(h, 1, SIMCONNECT_STATE_ON); }, 0x06,
         24},
        {"SetSystemState", [](HANDLE h) { return SimConnect_SetSystemState(h, "s", 1, 2, "t"); },
         0x36, 540},
        {"SubscribeToFacilities",
         [](HANDLE h) {
             return SimConnect_SubscribeToFacilities(h, SIMCONNECT_FACILITY_LIST_TYPE_NDB, 1);
         },
         0x41, 24},
        {"UnsubscribeToFacilities",
         [](HANDLE h) {
             return SimConnect_UnsubscribeToFacilities(h, SIMCONNECT_FACILITY_LIST_TYPE_NDB);
         },
         0x42, 20},
        {"Text",
         [](HANDLE h) {
             return SimConnect_Text(h, SIMCONNECT_TEXT_TYPE_PRINT_RED, 2.0f, 1, 6, (void*)"hello");
         },
         0x40, 38},
        {"WeatherCreateStation",
         [](HANDLE h) { return SimConnect_WeatherCreateStation(h, 1, "EGLL", "n", 1, 2, 3); }, 0x1C,
         293},
        {"WeatherCreateThermal",
         [](HANDLE h) { return SimConnect_WeatherCreateThermal(h, 1, 1, 2, 3, 4, 5); }, 0x25, 72},
        {"WeatherRemoveStation",
         [](HANDLE h) { return SimConnect_WeatherRemoveStation(h, 1, "EGLL"); }, 0x1D, 25},
        {"WeatherRemoveThermal", [](HANDLE h) { return SimConnect_WeatherRemoveThermal(h, 1); },
         0x26, 20},
        {"WeatherRequestCloudState",
         [](HANDLE h) { return SimConnect_WeatherRequestCloudState(h, 1, 1, 2, 3, 4, 5, 6); }, 0x24,
         48},
        {"WeatherRequestInterpolatedObservation",
         [](HANDLE h) { return SimConnect_WeatherRequestInterpolatedObservation(h, 1, 1, 2, 3); },
         0x19, 32},
        {"WeatherRequestObservationAtNearestStation",
         [](HANDLE h) { return SimConnect_WeatherRequestObservationAtNearestStation(h, 1, 1, 2); },
         0x1B, 28},
        {"WeatherRequestObservationAtStation",
         [](HANDLE h) { return SimConnect_WeatherRequestObservationAtStation(h, 1, "EGLL"); }, 0x1A,
         25},
        {"WeatherSetDynamicUpdateRate",
         [](HANDLE h) { return SimConnect_WeatherSetDynamicUpdateRate(h, 1); }, 0x23, 20},
        {"WeatherSetModeCustom", [](HANDLE h) { return SimConnect_WeatherSetModeCustom(h); }, 0x22,
         16},
        {"WeatherSetModeGlobal", [](HANDLE h) { return SimConnect_WeatherSetModeGlobal(h); }, 0x21,
         16},
        {"WeatherSetModeServer", [](HANDLE h) { return SimConnect_WeatherSetModeServer(h, 1, 2); },
         0x1F, 24},
        {"WeatherSetModeTheme", [](HANDLE h) { return SimConnect_WeatherSetModeTheme(h, "x"); },
         0x20, 272},
        {"WeatherSetObservation",
         [](HANDLE h) { return SimConnect_WeatherSetObservation(h, 1, "EGLL 0000"); }, 0x1E, 30},
    };
    uint32_t sendId = 0;
    for (const Other& other : others) {
        SCOPED_TRACE(other.name);
        ASSERT_EQ(other.call(client), S_OK);
        ++sendId;
        std::vector<uint8_t> bytes = NextPacket(other.size);
        ASSERT_EQ(bytes.size(), other.size);
        EXPECT_EQ(ReadU32(bytes, 0), other.size);
        EXPECT_EQ(ReadU32(bytes, 4), 5u);
        EXPECT_EQ(ReadU32(bytes, 8), 0xF0000000u | other.number);
        EXPECT_EQ(ReadU32(bytes, 12), sendId);
    }
    EXPECT_EQ(peer->Available(), 0u);
    // The unaligned RequestID of a parked aircraft and the METAR limit.
    ASSERT_EQ(SimConnect_AICreateParkedATCAircraft(client, "t", "n", "EGLL", 0x01020304), S_OK);
    EXPECT_EQ(ReadU32(NextPacket(293), 289), 0x01020304u);
    EXPECT_EQ(SimConnect_WeatherSetObservation(client, 1, std::string(2000, 'x').c_str()),
              E_INVALIDARG);
    EXPECT_EQ(SimConnect_WeatherSetObservation(client, 1, nullptr), E_INVALIDARG);
}

TEST(PacketNullHandle, EveryRequestFailsWithoutAConnection) {
    EXPECT_EQ(SimConnect_TransmitClientEvent(nullptr, 0, 1, 2, 3, 4), E_FAIL);
    EXPECT_EQ(SimConnect_SetClientData(nullptr, 0, 0, 0, 0, 4, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_Close(nullptr), E_FAIL);
    DWORD id = 77;
    EXPECT_EQ(SimConnect_GetLastSentPacketID(nullptr, &id), E_FAIL);
    EXPECT_EQ(id, 77u);
    SIMCONNECT_RECV* data = reinterpret_cast<SIMCONNECT_RECV*>(1);
    DWORD size = 9;
    EXPECT_EQ(SimConnect_GetNextDispatch(nullptr, &data, &size), E_FAIL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
}
