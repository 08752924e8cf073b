#include "device_io/UsbIdFilter.h"

UsbIdFilter::UsbIdFilter(uint32_t vendor, int32_t product) {
    if (product < 0) {
        value = vendor << 16;
        mask = 0xFFFF0000u;
    } else {
        value = vendor << 16 | (static_cast<uint32_t>(product) & 0xFFFFu);
        mask = 0xFFFFFFFFu;
    }
}

UsbIdFilter::UsbIdFilter(uint32_t vendor, uint32_t vendorMask, uint32_t product,
                         uint32_t productMask)
    : value(vendor << 16 | product), mask(vendorMask << 16 | productMask) {}

bool UsbIdFilter::Matches(const enumerate::SerialPort& port) const {
    return (UsbKey(port) & mask) == (value & mask);
}

uint16_t UsbVendorId(const enumerate::SerialPort& port) {
    return port.hardwareId.hasUsbId ? port.hardwareId.vendorId : 0;
}

uint16_t UsbProductId(const enumerate::SerialPort& port) {
    return port.hardwareId.hasUsbId ? port.hardwareId.productId : 0;
}

uint32_t UsbKey(const enumerate::SerialPort& port) {
    return static_cast<uint32_t>(UsbVendorId(port)) << 16 | UsbProductId(port);
}

const std::vector<UsbIdFilter> OwnUsbIds = {UsbIdFilter(0x32B6, -1)};

const std::vector<UsbIdFilter> LegacyUsbIds = {
    UsbIdFilter(0x2341, 0x0010), UsbIdFilter(0x2341, 0x0042), UsbIdFilter(0x2341, 0x0210),
    UsbIdFilter(0x2341, 0x0242), UsbIdFilter(0x2A03, 0x0010), UsbIdFilter(0x2A03, 0x0042),
    UsbIdFilter(0x1A86, 0x7523)};
