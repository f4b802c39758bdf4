#include "app/AdaptiveBitrate.h"

#include <algorithm>

namespace lumivane::host {
namespace {

constexpr auto kMinInterval = std::chrono::seconds(1);

bool congested(std::uint16_t decodeMs, std::uint16_t rttMs) { return decodeMs > 30 || rttMs > 50; }
bool goodLink(std::uint16_t decodeMs, std::uint16_t rttMs) { return rttMs < 20 && decodeMs < 15; }

// Products in single precision, truncated, as the encoders have always been given them.
std::uint32_t scaled(std::uint32_t kbps, float factor) {
    return static_cast<std::uint32_t>(static_cast<float>(kbps) * factor);
}

}  // namespace

std::optional<AdaptiveBitrate::Change> AdaptiveBitrate::onFeedback(std::uint16_t decodeMs, std::uint16_t rttMs,
                                                                   std::uint32_t targetKbps, Clock::time_point now) {
    if (currentKbps_ == 0) {
        currentKbps_ = targetKbps;
        lastChange_ = now;
    }
    if (now - lastChange_ < kMinInterval) return std::nullopt;

    std::uint32_t next = currentKbps_;
    const bool congestion = congested(decodeMs, rttMs);
    if (congestion) {
        // Below the floor already (a low target), congestion must not raise it to the floor.
        next = std::min(currentKbps_, std::max(kFloorKbps, scaled(currentKbps_, 0.8f)));
    } else if (goodLink(decodeMs, rttMs) && currentKbps_ < targetKbps) {
        next = std::min(targetKbps, scaled(currentKbps_, 1.1f));
    }
    if (next == currentKbps_) return std::nullopt;

    Change change{currentKbps_, next, congestion};
    currentKbps_ = next;
    lastChange_ = now;
    return change;
}

}  // namespace lumivane::host
