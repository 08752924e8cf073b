#include "device_io/LinewiseSerialDevice.h"

#include "support/Logger.h"

LinewiseSerialDevice::LinewiseSerialDevice(devio::IOManager& io, std::string portName,
                                           uint32_t baud, LineCallback lineCallback,
                                           ErrorCallback errorCallback, LineEndTest lineEnd)
    : devio::SerialDevice(io, portName, baud, ReadChunk), portName_(portName),
      lineBuffer_(LineBufferSize, 0), lineEnd_(std::move(lineEnd)),
      lineCallback_(std::move(lineCallback)), errorCallback_(std::move(errorCallback)) {}

void LinewiseSerialDevice::OnData(const uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        char c = static_cast<char>(data[i]);
        if (lineEnd_(c)) {
            if (lineFill_ > 0 && !discarding_) {
                std::string line(lineBuffer_.data(), lineFill_);
                lineFill_ = 0;
                if (lineCallback_)
                    lineCallback_(line);
            }
            lineFill_ = 0;
            discarding_ = false;
            continue;
        }
        if (discarding_)
            continue;
        lineBuffer_[lineFill_++] = c;
        if (lineFill_ == LineBufferSize) {
            // Too long for a line of the protocol: drop it up to its line end.
            lineFill_ = 0;
            discarding_ = true;
        }
    }
}

void LinewiseSerialDevice::OnReadError(const boost::system::error_code& error) {
    if (LogAccepts(BKFLog::LevelTrace))
        LogTrace("%s: read Error %s", portName_.c_str(), error.message().c_str());
    if (errorCallback_)
        errorCallback_(error);
}

void LinewiseSerialDevice::OnWriteError(const boost::system::error_code& error) {
    if (LogAccepts(BKFLog::LevelTrace))
        LogTrace("%s: write Error %s", portName_.c_str(), error.message().c_str());
    if (errorCallback_)
        errorCallback_(error);
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

std::unique_ptr<LinewiseSerialDevice>
MakeLinewiseSerialDevice(devio::IOManager& io, const std::string& portName, const uint32_t& baud,
                         void (*lineFunction)(const std::string&),
                         void (*errorFunction)(const boost::system::error_code&)) {
    LinewiseSerialDevice::LineCallback line;
    if (lineFunction)
        line = lineFunction;
    LinewiseSerialDevice::ErrorCallback error;
    if (errorFunction)
        error = errorFunction;
    return std::make_unique<LinewiseSerialDevice>(io, portName, baud, std::move(line),
                                                  std::move(error), &IsLineEnd);
}
