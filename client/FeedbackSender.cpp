#include "FeedbackSender.h"

#include "ControlMessages.h"

#include <algorithm>
#include <cmath>

namespace lumivane::client {

namespace {

std::uint16_t clampMs(std::optional<double> ms) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(ms.value_or(0)), 0L, 65535L));
}

}  // namespace

FeedbackSender::FeedbackSender(boost::asio::io_context& io, const ClientOptions& options, Write write, Measure measure)
    : timer_(io), options_(options), write_(std::move(write)), measure_(std::move(measure)) {}

FeedbackValues FeedbackSender::choose(const ClientOptions& options, double seconds, const Measurements& measured) {
    const auto planned = options.feedbackSchedule ? options.feedbackSchedule->at(seconds) : FeedbackValues{};
    FeedbackValues out;
    out.rttMs = planned.rttMs.value_or(options.feedbackRttMs.value_or(clampMs(measured.rttMs)));
    out.decodeMs = planned.decodeMs.value_or(options.feedbackDecodeMs.value_or(clampMs(measured.decodeMs)));
    return out;
}

void FeedbackSender::start() {
    start_ = std::chrono::steady_clock::now();
    schedule();
}

void FeedbackSender::schedule() {
    timer_.expires_after(std::chrono::milliseconds(options_.feedbackIntervalMs));
    timer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) send();
    });
}

void FeedbackSender::send() {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    last_ = choose(options_, seconds, measure_());
    write_(feedbackMessage(*last_.decodeMs, *last_.rttMs));
    ++sent_;
    schedule();
}

}  // namespace lumivane::client
