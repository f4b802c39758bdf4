#include "app/VideoSendStatistics.h"

#include <cmath>

namespace lumivane::host {

std::optional<VideoSendStatistics::Totals> VideoSendStatistics::countFrame(bool keyframe) {
    const std::uint32_t keyframes = keyframe ? keyframesHanded_.fetch_add(1) + 1 : keyframesHanded_.load();
    const std::uint64_t frames = framesHanded_.fetch_add(1) + 1;
    if (frames % kStatsInterval != 0) return std::nullopt;
    return Totals{frames, keyframes};
}

void VideoSendStatistics::countSent(std::size_t bytes) {
    bytesSent_.fetch_add(bytes, std::memory_order_relaxed);
    framesSent_.fetch_add(1, std::memory_order_relaxed);
}

VideoSendStatistics::Rate VideoSendStatistics::rate(Clock::time_point now) const {
    std::lock_guard<std::mutex> lock(windowMutex_);
    const std::uint64_t frames = framesSent_.load(std::memory_order_relaxed);
    const std::uint64_t bytes = bytesSent_.load(std::memory_order_relaxed);
    if (!windowStart_) {
        windowStart_ = now;
        framesAtStart_ = frames;
        bytesAtStart_ = bytes;
        return lastRate_;
    }
    const std::chrono::duration<double> elapsed = now - *windowStart_;
    if (elapsed < std::chrono::seconds(1)) return lastRate_;

    const double seconds = elapsed.count();
    lastRate_.fps = static_cast<std::int32_t>(std::lround(static_cast<double>(frames - framesAtStart_) / seconds));
    lastRate_.mbps = static_cast<float>(static_cast<double>(bytes - bytesAtStart_) * 8.0 / seconds / 1e6);
    windowStart_ = now;
    framesAtStart_ = frames;
    bytesAtStart_ = bytes;
    return lastRate_;
}

}  // namespace lumivane::host
