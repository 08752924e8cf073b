#include "device_io/SerialWatch.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include <boost/system/system_error.hpp>

#include "device_io/SerialError.h"
#include "support/StringHelpers.h"
#include "support/Logger.h"

const std::string IdentityPrefix = "####Brackenfold#";
const std::string LegacyIdentityPrefix = "\\####Brackenfold#";

void EnqueueWrite(LinewiseSerialDevice& device, std::vector<uint8_t>&& bytes) {
    device.PendingWrites().push_back(std::move(bytes));
    if (!device.WriteInFlight())
        device.StartWrite();
}

void EnqueueWrite(LinewiseSerialDevice& device, const uint8_t* data, size_t count) {
    EnqueueWrite(device, std::vector<uint8_t>(data, data + count));
}

std::string StripSuffix(const std::string& suffix, const std::string& text) {
    if (text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        return text.substr(0, text.size() - suffix.size());
    return text;
}

std::string FormatValue(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

SerialWatch::SerialWatch(devio::IOManager& io, std::string port, MessageCallback messageCallback,
                         ReportCallback reportCallback, std::chrono::nanoseconds idTimeout)
    : io_(&io), port_(std::move(port)), messageCallback_(std::move(messageCallback)),
      reportCallback_(std::move(reportCallback)), idTimer_(io.ioContext), idTimeout_(idTimeout) {
    try {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            device_ = std::make_unique<LinewiseSerialDevice>(
                io, std::string(port_), 115200, [this](const std::string& line) { OnLine(line); },
                [this](const boost::system::error_code& error) { OnError(error); }, &IsLineEnd);
            device_->Start();
        }
        ArmIdTimer();
    } catch (const boost::system::system_error& e) {
        LogTrace("failed to open serial port %s: %s", port_.c_str(), e.what());
        state_ = WatchState::SystemOpenFailed;
    } catch (const SerialError&) {
        state_ = WatchState::SerialOpenFailed;
    }
}

SerialWatch::~SerialWatch() {
    try {
        Stop();
    } catch (const std::exception& e) {
        if (gLogger)
            gLogger->Error("%s: cannot stop port: %s", port_.c_str(), e.what());
    }
    idTimer_.cancel();
    pendingConnect_.type = DeviceMessageType::None;
}

bool SerialWatch::IsActive() {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_ && (device_->IsRunning() || device_->IsReading() || device_->IsWriting());
}

bool SerialWatch::IsRunning() {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_ && device_->IsRunning();
}

void SerialWatch::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (device_)
        device_->Stop();
}

bool SerialWatch::WritesDrained() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !device_ || !device_->IsRunning() || device_->HasFailed() || device_->WritesDrained();
}

bool SerialWatch::DeliverPendingConnect() {
    if (pendingConnect_.type != DeviceMessageType::Connected)
        return false;
    messageCallback_(pendingConnect_);
    pendingConnect_.type = DeviceMessageType::None;
    reported_ = true;
    return true;
}

void SerialWatch::Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Nothing more reaches a device once it has been stopped.
    if (!device_ || !device_->IsRunning())
        return;
    EnqueueWrite(*device_, reinterpret_cast<const uint8_t*>(line.data()), line.size());
}

void SerialWatch::SendReady() {
    Write("|\n");
}

void SerialWatch::SendLeds(const std::string& leds) {
    longestLeds_ = std::max<int32_t>(longestLeds_, static_cast<int32_t>(leds.size()));
    Write("<" + leds + "\n");
}

void SerialWatch::ClearLeds() {
    if (longestLeds_ > 0)
        Write("<" + std::string(static_cast<size_t>(longestLeds_), '0') + "\n");
}

void SerialWatch::SendValue(const std::string& name, float value) {
    Write(name + FormatValue(value) + "\n");
}

DeviceIncomingMessage SerialWatch::MakeMessage(DeviceMessageType type) const {
    DeviceIncomingMessage message;
    message.type = type;
    message.port = port_;
    message.id = id_;
    message.key = key_;
    message.model = model_;
    message.version = version_;
    message.hexId = hexId_;
    return message;
}

void SerialWatch::ArmIdTimer() {
    auto now = boost::asio::steady_timer::clock_type::now();
    auto max = boost::asio::steady_timer::time_point::max();
    auto deadline =
        (max - now > idTimeout_)
            ? now + std::chrono::duration_cast<boost::asio::steady_timer::duration>(idTimeout_)
            : max;
    idTimer_.expires_at(deadline); // cancels a pending wait
    std::weak_ptr<int> alive = alive_;
    idTimer_.async_wait([this, alive](const boost::system::error_code& error) {
        if (alive.expired())
            return;
        OnIdTimeout(error);
    });
}

void SerialWatch::OnIdTimeout(const boost::system::error_code& error) {
    if (error == boost::asio::error::operation_aborted)
        return;
    if (gLogger)
        gLogger->Info("%s: Timed out without waiting for device ID string", port_.c_str());
    state_ = identitySeen_ ? WatchState::IdentityLost : WatchState::IdentityTimeout;
    Stop();
}

void SerialWatch::OnError(const boost::system::error_code&) {
    state_ = WatchState::Failed;
    // A cancelled read and a cancelled write of one stop are one disconnection.
    if (disconnectSent_)
        return;
    disconnectSent_ = true;
    if (messageCallback_)
        messageCallback_(MakeMessage(DeviceMessageType::Disconnected));
}

namespace {

// Reads an int as std::stoi does; false when there is no number or it is out of range.
bool ParseUnitId(const std::string& text, int32_t& out) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

} // namespace

bool SerialWatch::ParseIdentity(const std::string& line) {
    std::string rest;
    bool legacy = false;
    if (line.compare(0, IdentityPrefix.size(), IdentityPrefix) == 0) {
        rest = line.substr(IdentityPrefix.size());
    } else if (line.compare(0, LegacyIdentityPrefix.size(), LegacyIdentityPrefix) == 0 &&
               line.size() >= LegacyIdentityPrefix.size() + 1 && line.back() == '/') {
        rest = StripSuffix("/", line.substr(LegacyIdentityPrefix.size()));
        legacy = true;
    } else {
        return false;
    }
    identitySeen_ = true;
    if (rest.empty())
        return false;
    std::vector<std::string> fields = SplitAny(rest, 5, "#");
    if (fields.size() < (legacy ? 4u : 2u))
        return false;
    if (fields[0].empty())
        return false;
    int32_t id = 0;
    if (!ParseUnitId(fields[1], id))
        return false;
    if (!identified_ && !reported_) {
        identified_ = true;
        LogTrace("%s: got first ident", port_.c_str());
        id_ = id;
        model_ = fields[0];
        version_ = fields.size() > 2 ? fields[2] : std::string();
        hexId_ = fields.size() > 3 ? fields[3] : std::string();
        key_ = std::to_string(id_) + model_ + hexId_;
        LogTrace("%s: using identity %s", port_.c_str(), key_.c_str());
        pendingConnect_ = MakeMessage(DeviceMessageType::Connected);
    }
    return true;
}

void SerialWatch::OnLine(const std::string& line) {
    if (ParseIdentity(line)) {
        LogTrace("%s: identified as %s", port_.c_str(), model_.c_str());
        ArmIdTimer();
        if (!reported_ && reportCallback_)
            reportCallback_(this);
        return;
    }
    if (line.empty())
        return;
    if (!identified_ || !reported_) {
        LogTrace("%s: ignoring command %s before identification", port_.c_str(), line.c_str());
        return;
    }
    DeviceIncomingMessage message = MakeMessage(DeviceMessageType::Command);
    message.line = line;
    messageCallback_(message);
}
