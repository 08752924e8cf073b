#include "core/DeviceIndicators.h"

DeviceIndicatorSimple::DeviceIndicatorSimple(std::shared_ptr<SimVarRegistration> registration,
                                             int32_t compareValue)
    : registration(std::move(registration)), compareValue(compareValue) {}

char DeviceIndicatorSimple::LedChar() {
    if (!registration)
        return ToLedChar(false);
    return ToLedChar(registration->value.ToInt32() == compareValue);
}

char DeviceIndicatorSimple::ToLedChar(bool on) {
    return on ? '1' : '0';
}
