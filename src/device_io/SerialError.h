#pragma once

#include <stdexcept>
#include <string>

// A failure of the serial port layer that is not a system error.
class SerialError : public std::runtime_error {
public:
    explicit SerialError(const std::string& text) : std::runtime_error(text) {}
};
