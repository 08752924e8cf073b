#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/basic_serial_port.hpp>

#include "device_io/IOManager.h"
#include "device_io/StreamDevice.h"

namespace devio {

using SerialPortType = boost::asio::basic_serial_port<boost::asio::any_io_executor>;

// A stream device on a serial port opened by name: 8 data bits, no parity, one
// stop bit at the given baud (kept as they are for baud 0), no flow control.
class SerialDevice : public StreamDevice<SerialPortType> {
public:
    SerialDevice(IOManager& io, std::string portName, uint32_t baud, size_t readChunk);
    ~SerialDevice() override = default;
};

} // namespace devio
