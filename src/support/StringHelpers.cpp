#include "support/StringHelpers.h"

#include <stdexcept>

std::vector<std::string> SplitAny(const std::string& text, size_t limit,
                                  const std::string& delimiters) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < text.size()) {
        pos = text.find_first_not_of(delimiters, pos);
        if (pos == std::string::npos)
            break;
        if (limit != 0 && parts.size() + 1 == limit) {
            parts.push_back(text.substr(pos));
            break;
        }
        size_t end = text.find_first_of(delimiters, pos);
        if (end == std::string::npos)
            end = text.size();
        parts.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return parts;
}

bool IsNumber(const std::string& text, int base) {
    try {
        size_t consumed = 0;
        std::stoul(text, &consumed, base);
        return consumed == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        throw std::out_of_range("Trim: text holds only spaces");
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}
