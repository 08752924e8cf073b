#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_io/SerialDevice.h"

// A serial device that cuts its input into lines: a line ends at any run of
// line-end bytes, and a line longer than the line buffer is dropped whole.
class LinewiseSerialDevice : public devio::SerialDevice {
public:
    using LineCallback = std::function<void(const std::string&)>;
    using ErrorCallback = std::function<void(const boost::system::error_code&)>;
    using LineEndTest = std::function<bool(char)>;

    static constexpr size_t LineBufferSize = 2048;
    static constexpr size_t ReadChunk = 512;

    LinewiseSerialDevice(devio::IOManager& io, std::string portName, uint32_t baud,
                         LineCallback lineCallback, ErrorCallback errorCallback,
                         LineEndTest lineEnd);
    ~LinewiseSerialDevice() override = default;

    // Public so the splitting can be fed directly.
    void OnData(const uint8_t* data, size_t count) override;

protected:
    void OnReadError(const boost::system::error_code& error) override;
    void OnWriteError(const boost::system::error_code& error) override;

private:
    std::string portName_;
    std::vector<char> lineBuffer_;
    size_t lineFill_ = 0;
    bool discarding_ = false; // inside a line that outgrew the buffer
    LineEndTest lineEnd_;
    LineCallback lineCallback_;
    ErrorCallback errorCallback_;
};

bool IsLineEnd(char c);

std::unique_ptr<LinewiseSerialDevice>
MakeLinewiseSerialDevice(devio::IOManager& io, const std::string& portName, const uint32_t& baud,
                         void (*lineFunction)(const std::string&),
                         void (*errorFunction)(const boost::system::error_code&));
