#pragma once

#include <cstdint>
#include <vector>

#include "device_io/SerialPortEnumeration.h"

// One entry of the port watcher's USB id filter: vendor id in the upper 16
// bits, product id in the lower.
struct UsbIdFilter {
    uint32_t value = 0;
    uint32_t mask = 0;

    // A negative product id matches any product of the vendor.
    UsbIdFilter(uint32_t vendor, int32_t product);
    UsbIdFilter(uint32_t vendor, uint32_t vendorMask, uint32_t product, uint32_t productMask);

    bool Matches(const enumerate::SerialPort& port) const;
};

// Vendor id << 16 | product id of a port with a USB id, else 0.
uint32_t UsbKey(const enumerate::SerialPort& port);
uint16_t UsbVendorId(const enumerate::SerialPort& port);
uint16_t UsbProductId(const enumerate::SerialPort& port);

extern const std::vector<UsbIdFilter> OwnUsbIds;
extern const std::vector<UsbIdFilter> LegacyUsbIds;
