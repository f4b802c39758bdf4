#include "core/FrameLatency.h"

#include <algorithm>
#include <cmath>

namespace lumivane::host {

void FrameLatency::record(std::chrono::nanoseconds elapsed) {
    const auto bucket = std::size_t(std::max<std::int64_t>(0, elapsed / kBucket));
    ++buckets_[std::min(bucket, kBuckets - 1)];
    ++count_;
    max_ = std::max(max_, elapsed);
}

double FrameLatency::percentileMs(double fraction) const {
    if (count_ == 0) return 0;
    const auto wanted = std::uint64_t(std::ceil(std::clamp(fraction, 0.0, 1.0) * double(count_)));
    std::uint64_t seen = 0;
    std::size_t bucket = 0;
    for (; bucket < kBuckets - 1; ++bucket) {
        seen += buckets_[bucket];
        if (seen >= std::max<std::uint64_t>(wanted, 1)) break;
    }
    // The last bucket has no upper edge but the slowest frame.
    if (bucket == kBuckets - 1) return maxMs();
    return std::min(std::chrono::duration<double, std::milli>(kBucket * (bucket + 1)).count(), maxMs());
}

}  // namespace lumivane::host
