#pragma once

#include <stdexcept>
#include <string>

// Asked for a hardware and function pair that no loaded command map has.
class no_command_mapped_err : public std::runtime_error {
public:
    no_command_mapped_err(std::string hardwareName, std::string functionName)
        : std::runtime_error("no command map for this hardware pair"),
          hardware(std::move(hardwareName)), function(std::move(functionName)) {}

    std::string hardware;
    std::string function;
};
