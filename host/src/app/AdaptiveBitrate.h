#pragma once
// The one bitrate all client streams share, steered by the client's feedback: a fifth
// less under congestion, a tenth more on a good link, at most one change a second.
// Not synchronised: the owner guards it.

#include <chrono>
#include <cstdint>
#include <optional>

namespace lumivane::host {

class AdaptiveBitrate {
public:
    using Clock = std::chrono::steady_clock;

    struct Change {
        std::uint32_t fromKbps = 0;
        std::uint32_t toKbps = 0;
        bool congestion = false;  // only lowering is worth a warning
    };

    static constexpr std::uint32_t kFloorKbps = 2000;

    // The new bitrate to apply, already taken as current; empty when nothing changes.
    std::optional<Change> onFeedback(std::uint16_t decodeMs, std::uint16_t rttMs, std::uint32_t targetKbps,
                                     Clock::time_point now);
    // New settings: the next change starts from the new target.
    void reset(std::uint32_t targetKbps) { currentKbps_ = targetKbps; }

    std::uint32_t currentKbps() const { return currentKbps_; }

    // The maximum an encoder gets with a bitrate: half as much again.
    static std::uint32_t maxFor(std::uint32_t kbps) { return static_cast<std::uint32_t>(static_cast<float>(kbps) * 1.5f); }

private:
    std::uint32_t currentKbps_ = 0;  // 0 until the first feedback takes the target
    Clock::time_point lastChange_{};
};

}  // namespace lumivane::host
