#pragma once
// Counts the video frames of all streams: those handed to the video server (with a totals
// line every 360) and those the socket actually took (for the client status). Counting is
// lock-free and allocation-free; any thread may count, any thread may read.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

namespace lumivane::host {

class VideoSendStatistics {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::uint64_t kStatsInterval = 360;

    struct Totals {
        std::uint64_t frames = 0;
        std::uint32_t keyframes = 0;
    };
    struct Rate {
        std::int32_t fps = 0;
        float mbps = 0;
    };

    // Every frame handed to the video server; the totals when a stats line is due.
    std::optional<Totals> countFrame(bool keyframe);
    // A frame the socket took whole.
    void countSent(std::size_t bytes);

    // Frames and bits sent over the last window of at least a second, measured between
    // readings; zero until a first full window has passed.
    Rate rate(Clock::time_point now) const;

private:
    std::atomic<std::uint64_t> framesHanded_{0};
    std::atomic<std::uint32_t> keyframesHanded_{0};
    std::atomic<std::uint64_t> framesSent_{0};
    std::atomic<std::uint64_t> bytesSent_{0};

    mutable std::mutex windowMutex_;  // readers only
    mutable std::optional<Clock::time_point> windowStart_;
    mutable std::uint64_t framesAtStart_ = 0;
    mutable std::uint64_t bytesAtStart_ = 0;
    mutable Rate lastRate_;
};

}  // namespace lumivane::host
