#pragma once
// Lets one event through per interval and counts the others, so that a peer repeating a
// fault costs the log one line per interval instead of one per attempt. Thread-safe.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

namespace lumivane::host {

class RateLimit {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimit(Clock::duration interval) : interval_(interval) {}

    // When this event may be logged: how many were held back since the last one that was.
    std::optional<std::uint64_t> allow(Clock::time_point now = Clock::now()) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (last_ && now - *last_ < interval_) {
            ++held_;
            return std::nullopt;
        }
        last_ = now;
        const std::uint64_t held = held_;
        held_ = 0;
        return held;
    }

private:
    const Clock::duration interval_;
    std::mutex mutex_;
    std::optional<Clock::time_point> last_;
    std::uint64_t held_ = 0;
};

}  // namespace lumivane::host
