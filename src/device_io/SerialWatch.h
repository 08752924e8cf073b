#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/asio/steady_timer.hpp>

#include "device_io/DeviceMessages.h"
#include "device_io/IOManager.h"
#include "device_io/LinewiseSerialDevice.h"
#include "device_io/WatchState.h"

extern const std::string IdentityPrefix;
extern const std::string LegacyIdentityPrefix;

// Owns one open serial port on which a device may sit: recognises the device's
// identity line, watches that it keeps coming, turns the device's other lines
// into command messages and writes the host's lines to it.
class SerialWatch {
public:
    using MessageCallback = std::function<void(const DeviceIncomingMessage&)>;
    using ReportCallback = std::function<void(SerialWatch*)>;

    static constexpr std::chrono::nanoseconds DefaultIdTimeout = std::chrono::seconds(15);

    SerialWatch(devio::IOManager& io, std::string port, MessageCallback messageCallback,
                ReportCallback reportCallback,
                std::chrono::nanoseconds idTimeout = DefaultIdTimeout);
    ~SerialWatch();
    SerialWatch(const SerialWatch&) = delete;
    SerialWatch& operator=(const SerialWatch&) = delete;

    WatchState State() const { return state_; }
    bool IsActive();
    // Started and not stopped since.
    bool IsRunning();
    void Stop();
    bool DeliverPendingConnect();

    void Write(const std::string& line);
    void SendReady();
    void SendLeds(const std::string& leds);
    void ClearLeds();
    void SendValue(const std::string& name, float value);

    std::string Model() const { return model_; }
    const std::string& Port() const { return port_; }
    // The device's key (decimal id, model, hex id); empty until it identified.
    const std::string& Key() const { return key_; }
    int32_t Id() const { return id_; }

    // True once every queued line has been written (or nothing can be written).
    bool WritesDrained();

    DeviceIncomingMessage MakeMessage(DeviceMessageType type) const;

    // The identity parse and the line handling, exposed so the protocol can
    // be fed lines directly.
    bool ParseIdentity(const std::string& line);
    void OnLine(const std::string& line);

private:
    void ArmIdTimer();
    void OnIdTimeout(const boost::system::error_code& error);
    void OnError(const boost::system::error_code& error);

    devio::IOManager* io_;
    std::string port_;
    MessageCallback messageCallback_;
    ReportCallback reportCallback_;
    std::mutex mutex_;
    std::unique_ptr<LinewiseSerialDevice> device_;
    bool reported_ = false;
    WatchState state_ = WatchState::Open;
    int32_t id_ = -1;
    // Set by the first identity line; -1 is a unit id like any other.
    bool identified_ = false;
    std::string key_;
    std::string model_;
    std::string version_;
    std::string hexId_;
    boost::asio::steady_timer idTimer_;
    bool identitySeen_ = false;
    int32_t longestLeds_ = 0;
    DeviceIncomingMessage pendingConnect_;
    std::chrono::nanoseconds idTimeout_;
    bool disconnectSent_ = false;
    // Timer completions that arrive after the watch is gone touch nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Queue bytes on a device and start a write when none is in flight.
void EnqueueWrite(LinewiseSerialDevice& device, std::vector<uint8_t>&& bytes);
void EnqueueWrite(LinewiseSerialDevice& device, const uint8_t* data, size_t count);

// The text without the suffix when it ends with it, else the whole text.
std::string StripSuffix(const std::string& suffix, const std::string& text);

// A float as a default-formatted stream writes it (six significant digits).
std::string FormatValue(float value);
