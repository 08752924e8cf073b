#include "WireFormat.h"

#include <cstring>

namespace standin {

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

float ReadF32(const uint8_t* p) {
    uint32_t raw = ReadU32(p);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

MessageWriter& MessageWriter::U32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
    return *this;
}

MessageWriter& MessageWriter::U64(uint64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
    return *this;
}

MessageWriter& MessageWriter::F32(float value) {
    uint32_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    return U32(raw);
}

MessageWriter& MessageWriter::F64(double value) {
    uint64_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    return U64(raw);
}

MessageWriter& MessageWriter::FixedString(const std::string& text, size_t size) {
    if (size == 0)
        return *this;
    size_t length = text.size() < size - 1 ? text.size() : size - 1;
    bytes.insert(bytes.end(), text.begin(), text.begin() + length);
    bytes.insert(bytes.end(), size - length, 0);
    return *this;
}

MessageWriter& MessageWriter::Raw(const uint8_t* data, size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return *this;
}

MessageWriter& MessageWriter::Zeros(size_t size) {
    bytes.insert(bytes.end(), size, 0);
    return *this;
}

std::string ToHex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 15]);
    }
    return text;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& text, Bytes& out) {
    out.clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (high >= 0)
                return false;
            continue;
        }
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(uint8_t(high * 16 + digit));
            high = -1;
        }
    }
    return high < 0;
}

std::string Quote(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted.push_back('\\');
            quoted.push_back(char(c));
        } else if (c < 0x20 || c > 0x7E) {
            quoted += "\\x";
            quoted.push_back(digits[c >> 4]);
            quoted.push_back(digits[c & 15]);
        } else {
            quoted.push_back(char(c));
        }
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace standin
