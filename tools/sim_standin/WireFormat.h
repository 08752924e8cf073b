#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

using Bytes = std::vector<uint8_t>;

uint32_t ReadU32(const uint8_t* p);
float ReadF32(const uint8_t* p);

// Builds one little-endian message field by field.
class MessageWriter {
public:
    MessageWriter& U32(uint32_t value);
    MessageWriter& U64(uint64_t value);
    MessageWriter& F32(float value);
    MessageWriter& F64(double value);
    // The text, cut to size - 1 characters, NUL and zeros up to size bytes.
    MessageWriter& FixedString(const std::string& text, size_t size);
    MessageWriter& Raw(const uint8_t* data, size_t size);
    MessageWriter& Zeros(size_t size);
    size_t Size() const { return bytes.size(); }
    Bytes& Data() { return bytes; }

private:
    Bytes bytes;
};

// Lower-case hex without separators.
std::string ToHex(const uint8_t* data, size_t size);
// Hex digits with optional blanks between byte pairs; false on anything else.
bool ParseHex(const std::string& text, Bytes& out);
// Double-quoted text with \" \\ and \xNN escapes.
std::string Quote(const std::string& text);

} // namespace standin
