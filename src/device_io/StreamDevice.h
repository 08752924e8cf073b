#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include "support/Logger.h"

namespace devio {

// A buffered asynchronous stream over an open port: one read always pending
// while running, and a queue of lines sent as gathered writes. All calls and
// completions run on the thread that runs the port's I/O context.
template <typename Port> class StreamDevice {
public:
    using Bytes = std::vector<uint8_t>;

    StreamDevice(Port port, size_t readChunk)
        : port_(std::move(port)), readChunk_(readChunk),
          readBuffer_(std::make_shared<Bytes>(readChunk, 0)) {}

    virtual ~StreamDevice() {
        if (port_.is_open()) {
            boost::system::error_code error;
            port_.close(error);
            if (error && gLogger)
                gLogger->Error("close: %s", error.message().c_str());
        }
    }

    StreamDevice(const StreamDevice&) = delete;
    StreamDevice& operator=(const StreamDevice&) = delete;

    virtual void Start() {
        running_ = true;
        StartRead();
        StartWrite();
    }

    virtual void Stop() {
        running_ = false;
        boost::system::error_code error;
        port_.cancel(error);
        if (error)
            throw boost::system::system_error(error, "cancel");
    }

    void StartRead() {
        if (reading_)
            return;
        readBuffer_->resize(readChunk_);
        reading_ = true;
        std::weak_ptr<int> alive = alive_;
        std::shared_ptr<Bytes> buffer = readBuffer_;
        port_.async_read_some(
            boost::asio::buffer(*buffer),
            [this, alive, buffer](const boost::system::error_code& error, size_t count) {
                if (alive.expired())
                    return;
                OnReadComplete(error, count);
            });
    }

    void StartWrite() {
        if (!inFlight_.empty() || pending_.empty())
            return;
        writing_ = true;
        inFlight_.swap(pending_);
        gather_.clear();
        for (const Bytes& bytes : inFlight_)
            gather_.push_back(boost::asio::buffer(bytes));
        std::weak_ptr<int> alive = alive_;
        boost::asio::async_write(port_, gather_,
                                 [this, alive](const boost::system::error_code& error, size_t) {
                                     if (alive.expired())
                                         return;
                                     OnWriteComplete(error);
                                 });
    }

    // The owner appends lines here, then calls StartWrite.
    std::deque<Bytes>& PendingWrites() { return pending_; }
    bool WriteInFlight() const { return !inFlight_.empty(); }

    bool IsRunning() const { return running_; }
    bool IsReading() const { return reading_; }
    bool IsWriting() const { return writing_; }
    bool HasFailed() const { return failed_; }

    // Nothing written yet or waiting to be written.
    bool WritesDrained() const { return inFlight_.empty() && pending_.empty(); }

protected:
    virtual void OnData(const uint8_t* data, size_t count) = 0;
    virtual void OnReadError(const boost::system::error_code& error) = 0;
    virtual void OnWriteError(const boost::system::error_code& error) = 0;

    Port& port() { return port_; }

private:
    void OnReadComplete(const boost::system::error_code& error, size_t count) {
        if (count > 0)
            OnData(readBuffer_->data(), count);
        reading_ = false;
        if (error) {
            failed_ = true;
            OnReadError(error);
        } else if (!running_) {
            // Stopped while this read was completing (or from inside it): the
            // cancel found nothing to cancel, so this completion ends the stop
            // and reports it, as a cancelled read would.
            failed_ = true;
            OnReadError(boost::asio::error::operation_aborted);
        }
        if (running_ && !failed_)
            StartRead();
    }

    void OnWriteComplete(const boost::system::error_code& error) {
        inFlight_.clear();
        if (error)
            OnWriteError(error);
        if (running_ && !failed_ && !pending_.empty())
            StartWrite();
        else
            writing_ = false;
    }

    Port port_;
    bool running_ = false;
    bool failed_ = false;
    bool reading_ = false;
    bool writing_ = false;
    size_t readChunk_;
    std::shared_ptr<Bytes> readBuffer_;
    std::deque<Bytes> inFlight_;
    std::deque<Bytes> pending_;
    std::vector<boost::asio::const_buffer> gather_;
    // Completions that arrive after the device is gone touch nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace devio
