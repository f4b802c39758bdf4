#include "core/FrameLatency.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;

TEST(FrameLatencyTest, PercentilesAreBucketEdgesNeverBeyondTheSlowestFrame) {
    FrameLatency latency;
    EXPECT_EQ(latency.percentileMs(0.5), 0.0);
    for (int i = 0; i < 98; ++i) latency.record(1200us);  // bucket 1.20-1.25 ms
    latency.record(7ms);
    latency.record(250ms);  // beyond the last bucket's start
    EXPECT_EQ(latency.count(), 100u);
    EXPECT_DOUBLE_EQ(latency.percentileMs(0.5), 1.25);
    EXPECT_DOUBLE_EQ(latency.percentileMs(0.98), 1.25);
    EXPECT_DOUBLE_EQ(latency.percentileMs(0.99), 7.05);
    EXPECT_DOUBLE_EQ(latency.percentileMs(1.0), 250.0);
    EXPECT_DOUBLE_EQ(latency.maxMs(), 250.0);

    FrameLatency one;
    one.record(10us);
    EXPECT_DOUBLE_EQ(one.percentileMs(0.5), 0.01) << "capped at the slowest frame";
    one.record(-5us);  // a clock step back counts as no time
    EXPECT_DOUBLE_EQ(one.percentileMs(0.0), 0.01);
}

}  // namespace
}  // namespace lumivane::host
