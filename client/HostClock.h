#pragma once
// The host stamps packets from its steady clock. On the same machine that is our steady
// clock too, so the age of a packet can be read from its stamp.

#include <chrono>
#include <cstdint>
#include <optional>

namespace lumivane::client {

// Video stamps: 90 kHz ticks, computed exactly as the host does.
inline std::uint32_t hostClock90k() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ns) / 1000 * 9 / 100);
}

// Audio stamps: milliseconds.
inline std::uint32_t hostClockMs() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ns) / 1000000);
}

// Age in ms of a stamp taken `then` on a wrapping 32-bit clock now reading `now`;
// empty when the stamp lies in the future (another clock) or more than a minute back.
inline std::optional<double> stampAgeMs(std::uint32_t now, std::uint32_t then, double ticksPerMs) {
    const auto ticks = static_cast<std::int32_t>(now - then);
    const double ms = ticks / ticksPerMs;
    if (ticks < 0 || ms > 60000.0) return std::nullopt;
    return ms;
}

}  // namespace lumivane::client
