#pragma once
// Sends a feedback record on the video connection every interval while a stream runs.
// Each value comes from the schedule's range for the moment, else the fixed option, else
// what the client measured.

#include "ClientOptions.h"
#include "FeedbackSchedule.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lumivane::client {

struct Measurements {
    std::optional<double> rttMs;
    std::optional<double> decodeMs;
};

class FeedbackSender {
public:
    using Write = std::function<void(std::vector<std::uint8_t> message)>;
    using Measure = std::function<Measurements()>;

    FeedbackSender(boost::asio::io_context& io, const ClientOptions& options, Write write, Measure measure);

    void start();
    void stop() { timer_.cancel(); }
    std::uint32_t sent() const { return sent_; }
    // Both fields set once a record went out.
    const FeedbackValues& last() const { return last_; }

    // The values reported `seconds` after stream_started.
    static FeedbackValues choose(const ClientOptions& options, double seconds, const Measurements& measured);

private:
    void schedule();
    void send();

    boost::asio::steady_timer timer_;
    const ClientOptions& options_;
    Write write_;
    Measure measure_;
    std::chrono::steady_clock::time_point start_;
    std::uint32_t sent_ = 0;
    FeedbackValues last_;
};

}  // namespace lumivane::client
