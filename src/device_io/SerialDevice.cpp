#include "device_io/SerialDevice.h"

#include <windows.h>

#include <boost/asio/serial_port_base.hpp>

namespace devio {

namespace {

SerialPortType OpenPort(IOManager& io, const std::string& name) {
    SerialPortType port(io.ioContext.get_executor());
    boost::system::error_code error;
    port.open(name, error);
    if (error)
        throw boost::system::system_error(error, "open");
    return port;
}

[[noreturn]] void ThrowSetOption() {
    throw boost::system::system_error(boost::system::error_code(static_cast<int>(GetLastError()),
                                                                boost::system::system_category()),
                                      "set_option");
}

void SetNoFlowControl(HANDLE handle) {
    DCB dcb;
    ZeroMemory(&dcb, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(handle, &dcb))
        ThrowSetOption();
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(handle, &dcb))
        ThrowSetOption();
}

// A read completes once bytes arrived and the line has been quiet for 1 ms.
// (Wine ignores the "return at once" setting the port starts with.)
void SetReadTimeouts(HANDLE handle) {
    COMMTIMEOUTS timeouts;
    ZeroMemory(&timeouts, sizeof(timeouts));
    timeouts.ReadIntervalTimeout = 1;
    if (!SetCommTimeouts(handle, &timeouts))
        ThrowSetOption();
}

} // namespace

SerialDevice::SerialDevice(IOManager& io, std::string portName, uint32_t baud, size_t readChunk)
    : StreamDevice<SerialPortType>(OpenPort(io, portName), readChunk) {
    using boost::asio::serial_port_base;
    if (baud != 0) {
        port().set_option(serial_port_base::baud_rate(baud));
        port().set_option(serial_port_base::character_size(8));
        port().set_option(serial_port_base::parity(serial_port_base::parity::none));
        port().set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one));
    }
    SetNoFlowControl(port().native_handle());
    SetReadTimeouts(port().native_handle());
}

} // namespace devio
