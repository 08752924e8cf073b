#include "sim_link/SimValue.h"

#include <cmath>
#include <limits>

namespace {

// Truncates toward zero; a value outside the target's range (or not a number)
// gives the target's lowest value.
template <typename Integer> Integer Truncate(double value) {
    double truncated = std::trunc(value);
    // The upper bound of the range is a power of two, exact as a double.
    const double upper = -static_cast<double>(std::numeric_limits<Integer>::min());
    if (!(truncated >= -upper && truncated < upper))
        return std::numeric_limits<Integer>::min();
    return static_cast<Integer>(truncated);
}

} // namespace

int32_t SimValue::ToInt32() const {
    switch (index()) {
    case 1:
        return std::get<1>(*this);
    case 2:
        return static_cast<int32_t>(static_cast<uint32_t>(std::get<2>(*this)));
    case 3:
        return Truncate<int32_t>(std::get<3>(*this));
    case 4:
        return Truncate<int32_t>(std::get<4>(*this));
    default:
        return 0;
    }
}

int64_t SimValue::ToInt64() const {
    switch (index()) {
    case 1:
        return std::get<1>(*this);
    case 2:
        return std::get<2>(*this);
    case 3:
        return Truncate<int64_t>(std::get<3>(*this));
    case 4:
        return Truncate<int64_t>(std::get<4>(*this));
    default:
        return 0;
    }
}

double SimValue::ToDouble() const {
    switch (index()) {
    case 1:
        return std::get<1>(*this);
    case 2:
        return static_cast<double>(std::get<2>(*this));
    case 3:
        return std::get<3>(*this);
    case 4:
        return std::get<4>(*this);
    default:
        return 0.0;
    }
}

float SimValue::ToFloat() const {
    switch (index()) {
    case 1:
        return static_cast<float>(std::get<1>(*this));
    case 2:
        return static_cast<float>(std::get<2>(*this));
    case 3:
        return std::get<3>(*this);
    case 4:
        return static_cast<float>(std::get<4>(*this));
    default:
        return 0.0f;
    }
}

int32_t SimConnectDataTypeSize(uint32_t type) {
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32:
        return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8:
        return 8;
    case SIMCONNECT_DATATYPE_STRING32:
        return 32;
    case SIMCONNECT_DATATYPE_STRING64:
        return 64;
    case SIMCONNECT_DATATYPE_STRING128:
        return 128;
    case SIMCONNECT_DATATYPE_STRING256:
        return 256;
    case SIMCONNECT_DATATYPE_STRING260:
        return 260;
    case SIMCONNECT_DATATYPE_INITPOSITION:
        return sizeof(SIMCONNECT_DATA_INITPOSITION);
    case SIMCONNECT_DATATYPE_MARKERSTATE:
        return sizeof(SIMCONNECT_DATA_MARKERSTATE);
    case SIMCONNECT_DATATYPE_WAYPOINT:
        return sizeof(SIMCONNECT_DATA_WAYPOINT);
    case SIMCONNECT_DATATYPE_LATLONALT:
        return sizeof(SIMCONNECT_DATA_LATLONALT);
    case SIMCONNECT_DATATYPE_XYZ:
        return sizeof(SIMCONNECT_DATA_XYZ);
    default:
        return -1;
    }
}
