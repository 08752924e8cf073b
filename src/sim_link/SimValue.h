#pragma once

// One decoded field of simulator-object data.

#include "simconnect/SimConnect.h"

#include <cstdint>
#include <string>
#include <variant>

static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56, "byte-packed structure");
static_assert(sizeof(SIMCONNECT_DATA_MARKERSTATE) == 68, "byte-packed structure");
static_assert(sizeof(SIMCONNECT_DATA_WAYPOINT) == 44, "byte-packed structure");
static_assert(sizeof(SIMCONNECT_DATA_LATLONALT) == 24, "byte-packed structure");
static_assert(sizeof(SIMCONNECT_DATA_XYZ) == 24, "byte-packed structure");

using SimValueVariant =
    std::variant<std::monostate, int32_t, int64_t, float, double, std::string,
                 SIMCONNECT_DATA_INITPOSITION, SIMCONNECT_DATA_MARKERSTATE,
                 SIMCONNECT_DATA_WAYPOINT, SIMCONNECT_DATA_LATLONALT, SIMCONNECT_DATA_XYZ>;

// The variant's index says which kind of value it holds (0: none yet).
struct SimValue : SimValueVariant {
    using SimValueVariant::SimValueVariant;
    using SimValueVariant::operator=;
    SimValue() = default;

    // Integers as they are (64-bit by their low 32 bits), floats truncated toward zero
    // (out of range: the lowest value), anything else 0.
    int32_t ToInt32() const;
    int64_t ToInt64() const;
    double ToDouble() const;
    float ToFloat() const;
};

// Bytes a value of that SIMCONNECT_DATATYPE takes in a data message; -1 for a
// variable-length string or an unknown type.
int32_t SimConnectDataTypeSize(uint32_t type);
