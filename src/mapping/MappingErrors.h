#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// DeviceMapping.ini is not valid INI.
class MappingLoadError : public std::runtime_error {
public:
    MappingLoadError(const std::string& fileName, uint32_t line, const std::string& message)
        : std::runtime_error(fileName + ":" + std::to_string(line) + ": " + message),
          fileName(fileName), line(line), text(what()) {}
    explicit MappingLoadError(const std::string& message)
        : std::runtime_error(message), line(0), text(message) {}

    std::string fileName;
    uint32_t line;
    std::string text;
};

// A device section lacks one of its required keys.
class FileFormatException : public std::runtime_error {
public:
    explicit FileFormatException(const std::string& message) : std::runtime_error(message) {}
};
