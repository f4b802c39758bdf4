#include "app/VideoSendStatistics.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;

TEST(VideoSendStatistics, TotalsAreDueOnEvery360thFrameOfAllStreams) {
    VideoSendStatistics statistics;
    int lines = 0;
    for (int i = 1; i <= 720; ++i) {
        const auto totals = statistics.countFrame(i % 60 == 1);
        if (i == 360 || i == 720) {
            ASSERT_TRUE(totals) << "frame " << i;
            EXPECT_EQ(totals->frames, std::uint64_t(i));
            EXPECT_EQ(totals->keyframes, std::uint32_t(i / 60));
            ++lines;
        } else {
            ASSERT_FALSE(totals) << "frame " << i;
        }
    }
    EXPECT_EQ(lines, 2);
}

TEST(VideoSendStatistics, RateCoversTheLastFullSecondOfSentFrames) {
    VideoSendStatistics statistics;
    const auto t0 = VideoSendStatistics::Clock::time_point{} + 100h;
    EXPECT_EQ(statistics.rate(t0).fps, 0);

    for (int i = 0; i < 72; ++i) statistics.countSent(125000 / 72 * 50);  // about 50 Mbit in the second
    EXPECT_EQ(statistics.rate(t0 + 999ms).fps, 0) << "a window shorter than a second shows the previous one";

    const auto full = statistics.rate(t0 + 1s);
    EXPECT_EQ(full.fps, 72);
    EXPECT_NEAR(full.mbps, 72.0 * (125000 / 72 * 50) * 8 / 1e6, 0.01);

    EXPECT_EQ(statistics.rate(t0 + 1500ms).fps, 72) << "held until the next window closes";
    EXPECT_EQ(statistics.rate(t0 + 2s).fps, 0) << "nothing sent in the second window";
}

TEST(VideoSendStatistics, LongGapBetweenReadingsAveragesOverIt) {
    VideoSendStatistics statistics;
    const auto t0 = VideoSendStatistics::Clock::time_point{} + 100h;
    statistics.rate(t0);
    for (int i = 0; i < 120; ++i) statistics.countSent(1000);
    const auto rate = statistics.rate(t0 + 4s);
    EXPECT_EQ(rate.fps, 30);
    EXPECT_NEAR(rate.mbps, 120 * 1000 * 8 / 4.0 / 1e6, 1e-4);
}

}  // namespace
}  // namespace lumivane::host
