#include "app/AdaptiveBitrate.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;
using Clock = AdaptiveBitrate::Clock;

constexpr std::uint16_t kGoodRtt = 10, kGoodDecode = 5;
constexpr std::uint16_t kBadRtt = 80;

class AdaptiveBitrateTest : public ::testing::Test {
protected:
    // Feedback at the given offset from the first one.
    std::optional<AdaptiveBitrate::Change> at(Clock::duration offset, std::uint16_t decodeMs, std::uint16_t rttMs,
                                              std::uint32_t target = 20000) {
        return control.onFeedback(decodeMs, rttMs, target, start + offset);
    }
    // Sends the same feedback once a second until nothing changes; returns the values taken.
    std::vector<std::uint32_t> everySecond(std::uint16_t decodeMs, std::uint16_t rttMs) {
        std::vector<std::uint32_t> seen;
        while (auto change = at(++seconds * 1s, decodeMs, rttMs)) seen.push_back(change->toKbps);
        return seen;
    }

    AdaptiveBitrate control;
    const Clock::time_point start = Clock::time_point{} + 1000h;
    int seconds = 0;
};

TEST_F(AdaptiveBitrateTest, CongestionSteersDownToTheFloorAndGoodLinkBackToTheTarget) {
    EXPECT_FALSE(at(0s, 0, kBadRtt)) << "the first feedback only takes the target";
    EXPECT_EQ(control.currentKbps(), 20000u);

    EXPECT_EQ(everySecond(0, kBadRtt), (std::vector<std::uint32_t>{16000, 12800, 10240, 8192, 6553, 5242, 4193,
                                                                   3354, 2683, 2146, 2000}));
    EXPECT_EQ(control.currentKbps(), 2000u);

    const auto up = everySecond(kGoodDecode, kGoodRtt);
    ASSERT_GE(up.size(), 3u);
    EXPECT_EQ(up[0], 2200u);
    EXPECT_EQ(up[1], 2420u);
    EXPECT_EQ(up.back(), 20000u);
    EXPECT_EQ(control.currentKbps(), 20000u);
}

TEST_F(AdaptiveBitrateTest, FloorIsReachedNotUndershotAndNothingChangesAtIt) {
    ASSERT_FALSE(at(0s, 0, 0, 2100));
    const auto change = at(1s, 0, kBadRtt, 2100);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->toKbps, 2000u) << "not 1680";
    EXPECT_TRUE(change->congestion);
    EXPECT_FALSE(at(2s, 0, kBadRtt, 2100));
    EXPECT_FALSE(at(3s, 0, kBadRtt, 2100));
    EXPECT_EQ(control.currentKbps(), 2000u);
}

TEST_F(AdaptiveBitrateTest, CongestionNeverRaisesATargetBelowTheFloor) {
    ASSERT_FALSE(at(0s, 0, 0, 1000));
    EXPECT_FALSE(at(1s, 0, kBadRtt, 1000));
    EXPECT_EQ(control.currentKbps(), 1000u);
}

TEST_F(AdaptiveBitrateTest, BandEdgesBelongToTheQuietMiddle) {
    ASSERT_FALSE(at(0s, 0, 0));
    // Exactly 50 ms round trip and 30 ms decode is not congestion.
    EXPECT_FALSE(at(1s, 30, 50));
    EXPECT_TRUE(at(2s, 0, 51));
    EXPECT_TRUE(at(3s, 31, 0));

    // Below the target now: exactly 20 ms round trip or 15 ms decode is not a good link.
    EXPECT_FALSE(at(4s, 0, 20));
    EXPECT_FALSE(at(5s, 15, 0));
    const auto up = at(6s, 14, 19);
    ASSERT_TRUE(up);
    EXPECT_FALSE(up->congestion);
}

TEST_F(AdaptiveBitrateTest, AtMostOneChangeASecond) {
    ASSERT_FALSE(at(0s, 0, kBadRtt));
    EXPECT_FALSE(at(999ms, 0, kBadRtt)) << "nothing in the first second after the first feedback";
    ASSERT_TRUE(at(1000ms, 0, kBadRtt));
    EXPECT_FALSE(at(1999ms, 0, kBadRtt));
    EXPECT_TRUE(at(2000ms, 0, kBadRtt));
}

TEST_F(AdaptiveBitrateTest, GoodLinkAtTheTargetAndRefusedChangesKeepTheTimer) {
    ASSERT_FALSE(at(0s, kGoodDecode, kGoodRtt));
    EXPECT_FALSE(at(5s, kGoodDecode, kGoodRtt)) << "already at the target";
    // The refused raise did not restart the timer, so congestion acts at once.
    EXPECT_TRUE(at(5s + 1ms, 0, kBadRtt));
}

TEST_F(AdaptiveBitrateTest, ResetStartsFromTheNewTarget) {
    ASSERT_FALSE(at(0s, 0, kBadRtt));
    ASSERT_TRUE(at(1s, 0, kBadRtt));
    control.reset(30000);
    const auto change = at(2s, 0, kBadRtt, 30000);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->fromKbps, 30000u);
    EXPECT_EQ(change->toKbps, 24000u);
    EXPECT_EQ(AdaptiveBitrate::maxFor(change->toKbps), 36000u);
}

}  // namespace
}  // namespace lumivane::host
