// Data definitions, decoding of simulator-object data, the simulator-variable
// registry and the value conversions.

#include "StandinLink.h"

#include "sim_link/DataDefinition.h"
#include "sim_link/SimVarRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using Lines = std::vector<std::string>;

// A received message placed so that its last byte is the last readable byte
// before an inaccessible page: a read past its end faults.
class GuardedMessage {
public:
    explicit GuardedMessage(const std::vector<uint8_t>& bytes) : size(DWORD(bytes.size())) {
        base = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, 2 * 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base + 65536, 65536, PAGE_NOACCESS, &old);
        start = base + 65536 - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
    }
    ~GuardedMessage() { VirtualFree(base, 0, MEM_RELEASE); }
    const SIMCONNECT_RECV_SIMOBJECT_DATA* Message() const {
        return reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(start);
    }
    DWORD Size() const { return size; }

private:
    uint8_t* base = nullptr;
    uint8_t* start = nullptr;
    DWORD size;
};

void PutU32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
}

// SIMOBJECT_DATA header for a define id and field count, then the value bytes.
std::vector<uint8_t> DataMessage(uint32_t defineId, uint32_t count,
                                 const std::vector<uint8_t>& values) {
    std::vector<uint8_t> bytes;
    PutU32(bytes, uint32_t(40 + values.size()));
    PutU32(bytes, 5);
    PutU32(bytes, SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    for (uint32_t word : {defineId, 0u, defineId, 0u, 1u, 1u, count})
        PutU32(bytes, word);
    bytes.insert(bytes.end(), values.begin(), values.end());
    return bytes;
}

template <typename T> std::vector<uint8_t> BytesOf(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class SimVarTest : public ::testing::Test {
protected:
    void SetUp() override { log = InstallRecordingLogger(); }
    void TearDown() override { gLogger.reset(); }
    std::shared_ptr<RecordingTarget> log;
};

SimVarKey Key(const std::string& name, uint32_t type = SIMCONNECT_DATATYPE_FLOAT32,
              const std::string& unit = "number") {
    return SimVarKey{name, unit, type};
}

} // namespace

TEST_F(SimVarTest, ValueConversionsAtTheirLimits) {
    EXPECT_EQ(SimValue(3.9).ToInt32(), 3);
    EXPECT_EQ(SimValue(-3.9).ToInt32(), -3);
    EXPECT_EQ(SimValue(2.7f).ToInt32(), 2);
    EXPECT_EQ(SimValue(std::string("12")).ToInt32(), 0);
    EXPECT_EQ(SimValue().ToInt32(), 0);
    EXPECT_EQ(SimValue(int64_t(0x100000005LL)).ToInt32(), 5) << "low 32 bits";
    EXPECT_EQ(SimValue(2147483647.0).ToInt32(), 2147483647);
    EXPECT_EQ(SimValue(2147483648.0).ToInt32(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(SimValue(-2147483648.9).ToInt32(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(SimValue(std::nan("")).ToInt32(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(SimValue(1e30f).ToInt64(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(SimValue(int32_t(-1)).ToInt64(), -1);
    EXPECT_EQ(SimValue(int64_t(-5)).ToDouble(), -5.0);
    EXPECT_EQ(SimValue(0.1).ToFloat(), 0.1f);
    EXPECT_EQ(SimValue(SIMCONNECT_DATA_XYZ{1, 2, 3}).ToDouble(), 0.0);
    EXPECT_EQ(SimValue(int32_t(1)).index(), 1u);
    EXPECT_EQ(SimValue(int64_t(1)).index(), 2u);
    EXPECT_EQ(SimValue(1.0f).index(), 3u);
    EXPECT_EQ(SimValue(1.0).index(), 4u);
    EXPECT_EQ(SimConnectDataTypeSize(SIMCONNECT_DATATYPE_STRINGV), -1);
    EXPECT_EQ(SimConnectDataTypeSize(17), -1);
    EXPECT_EQ(SimConnectDataTypeSize(SIMCONNECT_DATATYPE_WAYPOINT), 44);
}

TEST_F(SimVarTest, UnmarshalChecksEveryFieldAgainstTheMessageSize) {
    DataDefinitionPool pool;
    auto definition = pool.Acquire();
    EXPECT_EQ(definition->Id(), 0u);
    definition->AddField({"I", "number", SIMCONNECT_DATATYPE_INT32});
    definition->AddField({"S", "", SIMCONNECT_DATATYPE_STRING8});
    definition->AddField({"P", "", SIMCONNECT_DATATYPE_LATLONALT});
    EXPECT_THROW(definition->Field(3), std::out_of_range);
    EXPECT_THROW(definition->Field(-1), std::out_of_range);

    SIMCONNECT_DATA_LATLONALT place{1.5, -2.5, 300.0};
    std::vector<uint8_t> values =
        Join({BytesOf(int32_t(-7)), {'a', 'b', 0, 0, 0, 0, 0, 0}, BytesOf(place)});
    {
        GuardedMessage whole(DataMessage(0, 3, values));
        auto decoded = definition->Unmarshal(whole.Message(), whole.Size());
        ASSERT_EQ(decoded.size(), 3u);
        EXPECT_EQ(std::get<int32_t>(decoded[0]), -7);
        EXPECT_EQ(std::get<std::string>(decoded[1]), std::string("ab\0\0\0\0\0\0", 8));
        EXPECT_EQ(std::get<SIMCONNECT_DATA_LATLONALT>(decoded[2]).Longitude, -2.5);
        EXPECT_TRUE(log->Lines().size() == 1) << "only the creation line";
    }
    {
        std::vector<uint8_t> cut(values.begin(), values.end() - 1);
        GuardedMessage shortMessage(DataMessage(0, 3, cut));
        EXPECT_TRUE(definition->Unmarshal(shortMessage.Message(), shortMessage.Size()).empty());
        EXPECT_TRUE(HasLogLine(*log, "tried to walk off end of provided data during unmarshal"));
    }
    {
        GuardedMessage mismatched(DataMessage(0, 2, values));
        EXPECT_TRUE(definition->Unmarshal(mismatched.Message(), mismatched.Size()).empty());
        EXPECT_TRUE(
            HasLogLine(*log, "Asked to decode simobject data with mismatched field count: 2 != 3"));
    }
    {
        std::vector<uint8_t> longer = values;
        longer.resize(values.size() + 4);
        GuardedMessage extra(DataMessage(0, 3, longer));
        EXPECT_EQ(definition->Unmarshal(extra.Message(), extra.Size()).size(), 3u);
        EXPECT_TRUE(HasLogLine(*log, "vPtr was at offset 76 after traversing 80 byte message?"));
    }
    for (size_t length : {0u, 12u, 23u, 36u, 39u}) {
        std::vector<uint8_t> header = DataMessage(0, 3, {});
        header.resize(length);
        GuardedMessage truncated(header.empty() ? std::vector<uint8_t>{0} : header);
        EXPECT_TRUE(definition->Unmarshal(truncated.Message(), DWORD(length)).empty());
    }
}

TEST_F(SimVarTest, VariableLengthStringAndUnknownType) {
    DataDefinitionPool pool;
    auto definition = pool.Acquire();
    definition->AddField({"TITLE", "", SIMCONNECT_DATATYPE_STRINGV});
    definition->AddField({"N", "", SIMCONNECT_DATATYPE_INT32});
    {
        GuardedMessage message(DataMessage(0, 2, Join({{'a', 'b', 'c', 0}, BytesOf(int32_t(4))})));
        auto decoded = definition->Unmarshal(message.Message(), message.Size());
        ASSERT_EQ(decoded.size(), 2u);
        EXPECT_EQ(std::get<std::string>(decoded[0]), "abc");
        EXPECT_EQ(std::get<int32_t>(decoded[1]), 4);
    }
    {
        GuardedMessage unterminated(DataMessage(0, 2, {'a', 'b', 'c'}));
        EXPECT_TRUE(definition->Unmarshal(unterminated.Message(), unterminated.Size()).empty());
        EXPECT_TRUE(
            HasLogLine(*log, "failed to unmarshal variable length string TITLE at offset 40"));
    }
    auto unknown = pool.Acquire();
    unknown->AddField({"Q", "", 17});
    GuardedMessage message(DataMessage(1, 1, BytesOf(int32_t(0))));
    EXPECT_TRUE(unknown->Unmarshal(message.Message(), message.Size()).empty());
    EXPECT_TRUE(HasLogLine(*log, "couldn't unmarshal Q type 17 -> unknown type?"));
}

TEST_F(SimVarTest, RegistryPacksSubscribesAndRenewsDefinitions) {
    StandinLink link;
    ASSERT_TRUE(link.Ready());
    DataDefinitionPool pool;
    SimVarRegistry simVars(&pool);

    std::vector<std::shared_ptr<SimVarRegistration>> held;
    for (int i = 0; i < 65; ++i)
        held.push_back(simVars.Register(Key("VAR " + std::to_string(i))));
    EXPECT_EQ(simVars.Register(Key("VAR 3")), held[3]) << "one registration per key";
    auto otherUnit = simVars.Register(Key("VAR 3", SIMCONNECT_DATATYPE_FLOAT32, "percent"));
    EXPECT_NE(otherUnit, held[3]);
    EXPECT_EQ(held[63]->definition->Id(), 0u);
    EXPECT_EQ(held[63]->fieldIndex, 63);
    EXPECT_EQ(held[64]->definition->Id(), 1u) << "the 65th variable opens a second definition";
    EXPECT_EQ(held[64]->fieldIndex, 0);
    EXPECT_EQ(otherUnit->definition->Id(), 1u);

    HANDLE handle = link.Connect();
    ASSERT_NE(handle, nullptr);
    pool.SetHandle(handle);
    simVars.ClearRequested();
    simVars.RequestPending();
    auto late = simVars.Register(Key("LATE"));
    EXPECT_EQ(late->definition->Id(), 2u) << "a subscribed definition never grows";
    simVars.RequestPending();
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_EQ(link.Fields("ClearDataDefinition"), (Lines{"DefineID=0", "DefineID=1"}));
    EXPECT_EQ(link.Fields("AddToDataDefinition").size(), 67u);
    EXPECT_EQ(link.Fields("AddToDataDefinition")[65],
              "DefineID=1 DatumName=\"VAR 3\" UnitsName=\"percent\" DatumType=3 fEpsilon=0 "
              "DatumID=4294967295");
    Lines perFrame = {
        "RequestID=0 DefineID=0 ObjectID=0 Period=3 Flags=1 origin=0 interval=0 limit=0",
        "RequestID=1 DefineID=1 ObjectID=0 Period=3 Flags=1 origin=0 interval=0 limit=0",
        "RequestID=2 DefineID=2 ObjectID=0 Period=3 Flags=1 origin=0 interval=0 limit=0"};
    Lines requests = link.Fields("RequestDataOnSimObject");
    std::sort(requests.begin(), requests.end());
    EXPECT_EQ(requests, perFrame) << "each definition is requested once per connection";

    // A new connection: the fields are registered again and, once the requests are
    // forgotten, every live definition is subscribed again.
    held.resize(10);
    HANDLE second = link.Connect();
    ASSERT_NE(second, nullptr);
    pool.SetHandle(second);
    simVars.ClearRequested();
    simVars.RequestPending();
    ASSERT_TRUE(link.Sync(second));
    EXPECT_EQ(link.Fields("AddToDataDefinition", 2).size(), 67u)
        << "fields stay in their definitions while the definition lives";
    requests = link.Fields("RequestDataOnSimObject", 2);
    std::sort(requests.begin(), requests.end());
    EXPECT_EQ(requests, perFrame);
    pool.SetHandle(nullptr);
}

TEST_F(SimVarTest, EveryDataTypeArrivesAndChangesReachTheRegistrations) {
    StandinLink link({L"--value", L"I32=-5", L"--value", L"I64=8589934593", L"--value", L"F32=2.5",
                      L"--value", L"F64=-0.25", L"--value", L"S8=ab", L"--value", L"S260=long text",
                      L"--value", L"SV=variable"});
    ASSERT_TRUE(link.Ready());
    DataDefinitionPool pool;
    SimVarRegistry simVars(&pool);
    HANDLE handle = link.Connect();
    ASSERT_NE(handle, nullptr);
    pool.SetHandle(handle);

    const std::vector<std::pair<std::string, uint32_t>> fields = {
        {"I32", SIMCONNECT_DATATYPE_INT32},        {"I64", SIMCONNECT_DATATYPE_INT64},
        {"F32", SIMCONNECT_DATATYPE_FLOAT32},      {"F64", SIMCONNECT_DATATYPE_FLOAT64},
        {"S8", SIMCONNECT_DATATYPE_STRING8},       {"SV", SIMCONNECT_DATATYPE_STRINGV},
        {"S260", SIMCONNECT_DATATYPE_STRING260},   {"POS", SIMCONNECT_DATATYPE_INITPOSITION},
        {"MARK", SIMCONNECT_DATATYPE_MARKERSTATE}, {"WP", SIMCONNECT_DATATYPE_WAYPOINT},
        {"LLA", SIMCONNECT_DATATYPE_LATLONALT},    {"XYZ", SIMCONNECT_DATATYPE_XYZ}};
    std::vector<std::shared_ptr<SimVarRegistration>> held;
    for (const auto& field : fields)
        held.push_back(simVars.Register(Key(field.first, field.second, "")));
    simVars.RequestPending();

    auto pump = [&](DWORD timeoutMs) {
        return DrainMessages(
            handle,
            [&](SIMCONNECT_RECV* data, DWORD size) {
                if (data->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA)
                    simVars.OnSimObjectData(reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(data),
                                            size);
            },
            timeoutMs);
    };
    for (int i = 0; i < 100 && held[0]->value.index() == 0; ++i)
        pump(50);
    EXPECT_EQ(std::get<int32_t>(held[0]->value), -5);
    EXPECT_EQ(std::get<int64_t>(held[1]->value), 8589934593LL);
    EXPECT_EQ(std::get<float>(held[2]->value), 2.5f);
    EXPECT_EQ(std::get<double>(held[3]->value), -0.25);
    EXPECT_EQ(std::get<std::string>(held[4]->value), std::string("ab\0\0\0\0\0\0", 8));
    EXPECT_EQ(std::get<std::string>(held[5]->value), "variable");
    EXPECT_EQ(std::get<std::string>(held[6]->value).size(), 260u);
    EXPECT_EQ(held[7]->value.index(), 6u);
    EXPECT_EQ(held[8]->value.index(), 7u);
    EXPECT_EQ(held[9]->value.index(), 8u);
    EXPECT_EQ(held[10]->value.index(), 9u);
    EXPECT_EQ(held[11]->value.index(), 10u);

    link.Process().Command("set I32 = 42");
    for (int i = 0; i < 100 && held[0]->value.index() == 1 && held[0]->value.ToInt32() != 42; ++i)
        pump(50);
    EXPECT_EQ(std::get<int32_t>(held[0]->value), 42);

    // Nobody holds the variables any more, only their definition: the next data
    // purges the definition's entry.
    std::shared_ptr<DataDefinition> definition = held[0]->definition;
    held.clear();
    link.Process().Command("set I32 = 43");
    ASSERT_TRUE(link.Process().WaitForRecord("\"I32\"=\"43\""));
    for (int i = 0; i < 100 && !HasLogLine(*log, "Got SIMBOJECT_DATA for definition 0 with no "
                                                 "valid registrations - purging");
         ++i)
        pump(50);
    EXPECT_TRUE(HasLogLine(
        *log, "Got SIMBOJECT_DATA for definition 0 with no valid registrations - purging"));
    ASSERT_TRUE(link.Sync(handle));
    auto requests = link.Fields("RequestDataOnSimObject");
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back(),
              "RequestID=0 DefineID=0 ObjectID=0 Period=0 Flags=0 origin=0 interval=0 limit=0");
    EXPECT_FALSE(simVars.Erase(0)) << "the define id is forgotten";
    pool.SetHandle(nullptr);
}

TEST_F(SimVarTest, PoolReusesTheIdOfALetGoDefinition) {
    StandinLink link;
    ASSERT_TRUE(link.Ready());
    HANDLE handle = link.Connect();
    ASSERT_NE(handle, nullptr);
    DataDefinitionPool pool;
    pool.SetHandle(handle);
    auto first = pool.Acquire();
    EXPECT_EQ(first->Id(), 0u);
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_TRUE(link.Fields("ClearDataDefinition").empty()) << "a fresh id needs no clearing";
    first->Subscribe();
    first.reset();
    auto again = pool.Acquire();
    EXPECT_EQ(again->Id(), 0u);
    EXPECT_EQ(pool.Acquire()->Id(), 1u);
    ASSERT_TRUE(link.Sync(handle));
    EXPECT_EQ(link.Fields("ClearDataDefinition"),
              (Lines{"DefineID=0", "DefineID=0", "DefineID=1"}));
    EXPECT_EQ(link.Fields("RequestDataOnSimObject").size(), 3u)
        << "no request for a definition without fields, a never request at each release "
           "and reuse";
    pool.SetHandle(nullptr);
}

TEST_F(SimVarTest, ShortOrUnknownMessagesChangeNothing) {
    DataDefinitionPool pool;
    SimVarRegistry simVars(&pool);
    auto registration = simVars.Register(Key("A", SIMCONNECT_DATATYPE_INT32));
    for (size_t length : {1u, 20u, 23u}) {
        std::vector<uint8_t> header = DataMessage(0, 1, {});
        header.resize(length);
        GuardedMessage message(header);
        simVars.OnSimObjectData(message.Message(), message.Size());
    }
    GuardedMessage unknown(DataMessage(9, 1, BytesOf(int32_t(3))));
    simVars.OnSimObjectData(unknown.Message(), unknown.Size());
    EXPECT_EQ(registration->value.index(), 0u);

    GuardedMessage message(DataMessage(0, 1, BytesOf(int32_t(3))));
    simVars.OnSimObjectData(message.Message(), message.Size());
    EXPECT_EQ(std::get<int32_t>(registration->value), 3);
    GuardedMessage asFloat(DataMessage(0, 1, BytesOf(int32_t(0))));
    registration->value = 1.5;
    simVars.OnSimObjectData(asFloat.Message(), asFloat.Size());
    EXPECT_EQ(registration->value.index(), 1u) << "a new alternative replaces the old one";
}
