#pragma once

// What one LED of a device shows: '1' on, '0' off.

#include "sim_link/SimVarRegistry.h"

#include <cstdint>
#include <memory>

// Made only with std::make_shared of the concrete class and held through
// std::shared_ptr<DeviceIndicator>.
class DeviceIndicator {
public:
    virtual char LedChar() = 0;

protected:
    ~DeviceIndicator() = default;
};

// On while the watched variable, as an integer, equals the compare value.
class DeviceIndicatorSimple : public DeviceIndicator {
public:
    DeviceIndicatorSimple(std::shared_ptr<SimVarRegistration> registration, int32_t compareValue);

    char LedChar() override;
    virtual char ToLedChar(bool on);

private:
    std::shared_ptr<SimVarRegistration> registration;
    int32_t compareValue;
};

// Keeps an LED position whose variable could not be watched; always off.
class NullDeviceIndicator : public DeviceIndicator {
public:
    char LedChar() override { return '0'; }
};
