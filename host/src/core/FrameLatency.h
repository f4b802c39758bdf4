#pragma once
// How long a stream's frames take from their arrival at the orchestrator to the last byte
// handed to the video socket, kept as a histogram so that recording allocates nothing and
// costs a few instructions on the frame path. Not synchronised: the owner guards it.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace lumivane::host {

class FrameLatency {
public:
    static constexpr std::chrono::microseconds kBucket{50};
    static constexpr std::size_t kBuckets = 2000;  // 100 ms; slower frames share the last

    void record(std::chrono::nanoseconds elapsed);

    std::uint64_t count() const { return count_; }
    // The upper edge of the bucket below which `fraction` (0..1] of the frames fall.
    double percentileMs(double fraction) const;
    double maxMs() const { return std::chrono::duration<double, std::milli>(max_).count(); }

private:
    std::array<std::uint32_t, kBuckets> buckets_{};
    std::uint64_t count_ = 0;
    std::chrono::nanoseconds max_{0};
};

}  // namespace lumivane::host
