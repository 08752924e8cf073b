#include "core/DeviceCommand.h"

#include "support/StringHelpers.h"

#include <cstdlib>

DeviceCommand ParseDeviceCommand(const std::string& line) {
    DeviceCommand command;
    std::vector<std::string> parts = SplitAny(line, 2, "=");
    if (parts.empty())
        return command;
    command.name = parts[0];
    if (parts.size() < 2)
        return command;
    int32_t number = static_cast<int32_t>(std::strtol(parts[1].c_str(), nullptr, 10));
    if (command.name.find("POT_") != std::string::npos)
        command.value = static_cast<float>(number) / 1023.0f;
    else
        command.value = number;
    return command;
}
