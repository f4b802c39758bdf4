#include "HostClock.h"
#include "StreamStats.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

TEST(StreamStatsTest, RatesUseTheIntervalsRealLength) {
    StreamStats stats;
    for (int i = 0; i < 30; ++i) {
        stats.onVideoPacket(1000, i == 0, i % 2 ? std::optional(4.0) : std::nullopt);
        stats.onVideoDecoded(2.0);
    }
    const auto r = stats.takeInterval(0.5);
    EXPECT_DOUBLE_EQ(r.fps(), 60.0);
    EXPECT_DOUBLE_EQ(r.videoKbps(), 30 * 1000 * 8 / 1000.0 / 0.5);
    EXPECT_EQ(r.video.keyframes, 1u);
    EXPECT_EQ(r.video.latency.samples, 15u);
    EXPECT_DOUBLE_EQ(*r.video.latency.averageMs(), 4.0);
    EXPECT_DOUBLE_EQ(*r.decodeMsAverage(), 2.0);

    const auto empty = stats.takeInterval(1.0);
    EXPECT_EQ(empty.fps(), 0);
    EXPECT_FALSE(empty.video.latency.averageMs()) << "no samples is not a latency of 0";
    EXPECT_FALSE(empty.decodeMsAverage());
    EXPECT_EQ(stats.takeInterval(0).fps(), 0) << "a zero-length interval does not divide by zero";
}

TEST(StreamStatsTest, TotalsAddTheClosedIntervalsAndTheOpenOne) {
    StreamStats stats;
    stats.onVideoPacket(10, true, 9.0);
    stats.takeInterval(1.0);
    stats.onVideoPacket(20, false, 3.0);
    stats.onAudioPacket(0, 100, std::nullopt);
    stats.onAudioDecoded(480);
    const auto t = stats.totals();
    EXPECT_EQ(t.video.packets, 2u);
    EXPECT_EQ(t.video.bytes, 30u);
    EXPECT_DOUBLE_EQ(t.video.latency.maxMs, 9.0);
    EXPECT_DOUBLE_EQ(*t.video.latency.averageMs(), 6.0);
    EXPECT_EQ(t.audio.samples, 480u);
}

TEST(StreamStatsTest, SkippedSequenceNumbersCountAcrossStreamsAndTheWrap) {
    StreamStats stats;
    for (std::uint16_t sequence : {65533, 65534, 1}) stats.onVideoSequence(sequence);  // 65535 and 0 skipped
    const auto r = stats.takeInterval(1);
    EXPECT_EQ(r.video.sequenceGaps, 2u);
    EXPECT_EQ(r.video.packets, 0u) << "a sequence number alone is no packet of a stream";

    SequenceTracker audio;
    EXPECT_EQ(audio.next(100), 0u) << "the first packet may start anywhere";
    EXPECT_EQ(audio.next(101), 0u);
    EXPECT_EQ(audio.next(101), 0u) << "a repeat is not 65535 lost packets";
    EXPECT_EQ(audio.next(90), 0u);
    EXPECT_EQ(audio.next(95), 4u);
}

TEST(HostClockTest, StampAgesWrapAndRejectOtherClocks) {
    EXPECT_DOUBLE_EQ(*stampAgeMs(900, 0, 90.0), 10.0);
    EXPECT_DOUBLE_EQ(*stampAgeMs(5, 0xFFFFFFFBu, 1.0), 10.0) << "across the 32-bit wrap";
    EXPECT_FALSE(stampAgeMs(0, 900, 90.0)) << "a stamp from the future is another clock";
    EXPECT_FALSE(stampAgeMs(90 * 61000, 0, 90.0)) << "a minute-old stamp is not a latency";
    const auto now = hostClock90k();
    EXPECT_LT(*stampAgeMs(hostClock90k(), now, 90.0), 1000.0);
}

}  // namespace
}  // namespace lumivane::client
