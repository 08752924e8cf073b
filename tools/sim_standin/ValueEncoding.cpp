#include "ValueEncoding.h"

#include <cstdlib>
#include <cstring>

namespace standin {

int DataTypeSize(uint32_t type) {
    static const int sizes[] = {-1, 4, 8, 4, 8, 8, 32, 64, 128, 256, 260, -1, 56, 68, 44, 24, 24};
    return type < sizeof sizes / sizeof sizes[0] ? sizes[type] : -1;
}

bool IsKnownDataType(uint32_t type) {
    return type >= 1 && type <= 16;
}

namespace {

void AppendLittleEndian(uint64_t value, int size, Bytes& out) {
    for (int i = 0; i < size; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

long long ParseInteger(const std::string& text) {
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (end && *end != '\0' && *end != ' ')
        value = (long long)std::strtod(text.c_str(), nullptr);
    return value;
}

} // namespace

void EncodeValue(uint32_t type, const std::string& text, Bytes& out) {
    switch (type) {
    case 1:
        AppendLittleEndian(uint64_t(ParseInteger(text)), 4, out);
        return;
    case 2:
        AppendLittleEndian(uint64_t(ParseInteger(text)), 8, out);
        return;
    case 3: {
        float value = float(std::strtod(text.c_str(), nullptr));
        uint32_t raw;
        std::memcpy(&raw, &value, sizeof raw);
        AppendLittleEndian(raw, 4, out);
        return;
    }
    case 4: {
        double value = std::strtod(text.c_str(), nullptr);
        uint64_t raw;
        std::memcpy(&raw, &value, sizeof raw);
        AppendLittleEndian(raw, 8, out);
        return;
    }
    case 11: {
        size_t padded = (text.size() / 4) * 4 + 4;
        out.insert(out.end(), text.begin(), text.end());
        out.insert(out.end(), padded - text.size(), 0);
        return;
    }
    default: {
        int size = DataTypeSize(type);
        if (size <= 0)
            return;
        if (type >= 5 && type <= 10) {
            size_t length = text.size() < size_t(size) ? text.size() : size_t(size);
            out.insert(out.end(), text.begin(), text.begin() + length);
            out.insert(out.end(), size - length, 0);
        } else {
            out.insert(out.end(), size, 0);
        }
    }
    }
}

} // namespace standin
