#pragma once

// A device's command line, split into its name and value.

#include "core/DeviceRecord.h"

#include <string>

struct DeviceCommand {
    CommandValue value;
    std::string name;
};

// "NAME" gives no value, "NAME=n" the whole number n, and a name containing
// "POT_" the value n / 1023 as a float.
DeviceCommand ParseDeviceCommand(const std::string& line);
