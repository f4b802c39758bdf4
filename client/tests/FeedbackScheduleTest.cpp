#include "FeedbackSchedule.h"
#include "FeedbackSender.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

TEST(FeedbackScheduleTest, RangesAreHalfOpenAndTheFirstMatchWins) {
    std::string error;
    auto s = FeedbackSchedule::parse("0-5s rtt=80 decode=40ms; 5-20 rtt=5, 2-30 decode=3, 30- RTT=1", error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->at(0).rttMs, 80);
    EXPECT_EQ(s->at(4.99).decodeMs, 40);
    EXPECT_EQ(s->at(5).rttMs, 5);
    EXPECT_FALSE(s->at(5).decodeMs) << "the 5-20 range says nothing of decode, and it wins over 2-30";
    EXPECT_EQ(s->at(25).decodeMs, 3);
    EXPECT_FALSE(s->at(25).rttMs);
    EXPECT_EQ(s->at(1e6).rttMs, 1) << "open end";
}

TEST(FeedbackScheduleTest, GapsLeaveBothValuesToTheFallbacks) {
    std::string error;
    auto s = FeedbackSchedule::parse("1-2 rtt=9", error);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->at(0.5).rttMs);
    EXPECT_FALSE(s->at(2).rttMs);
}

TEST(FeedbackScheduleTest, RejectsWhatItCannotRead) {
    for (const char* bad : {"", " , ", "rtt=5", "5 rtt=5", "5-3 rtt=5", "0-5", "0-5 rtt=", "0-5 rtt=70000",
                            "0-5 rtt=-1", "0-5 latency=5", "-5 rtt=1", "0-5 rtt=5 decode"}) {
        std::string error;
        EXPECT_FALSE(FeedbackSchedule::parse(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(FeedbackSenderTest, ScheduleBeatsFixedValuesWhichBeatMeasurements) {
    ClientOptions options;
    const Measurements measured{2.6, 70000.0};
    auto v = FeedbackSender::choose(options, 0, measured);
    EXPECT_EQ(v.rttMs, 3) << "measured, rounded";
    EXPECT_EQ(v.decodeMs, 65535) << "measured, clamped to the field";
    EXPECT_EQ(FeedbackSender::choose(options, 0, {}).rttMs, 0) << "nothing measured yet";

    options.feedbackRttMs = 30;
    std::string error;
    options.feedbackSchedule = FeedbackSchedule::parse("1-2 rtt=80 decode=40, 2-3 decode=1", error);
    EXPECT_EQ(FeedbackSender::choose(options, 0.5, measured).rttMs, 30);
    v = FeedbackSender::choose(options, 1.5, measured);
    EXPECT_EQ(v.rttMs, 80);
    EXPECT_EQ(v.decodeMs, 40);
    v = FeedbackSender::choose(options, 2.5, measured);
    EXPECT_EQ(v.rttMs, 30) << "the range leaves rtt to the fixed value";
    EXPECT_EQ(v.decodeMs, 1);
}

}  // namespace
}  // namespace lumivane::client
