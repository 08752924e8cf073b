#pragma once

#include "WireFormat.h"

#include <cstdint>
#include <string>

namespace standin {

// Fixed size of a value of a data type in a data message; -1 for the variable-length
// string (11) and for unknown types (0 and above 16).
int DataTypeSize(uint32_t type);
bool IsKnownDataType(uint32_t type);

// Appends the value written as text in the layout of the data type: integers from a
// decimal (a float is truncated), floats, fixed strings zero-padded, the variable string
// with its NUL padded to a multiple of 4, structures as zeros. An empty text is 0.
void EncodeValue(uint32_t type, const std::string& text, Bytes& out);

} // namespace standin
