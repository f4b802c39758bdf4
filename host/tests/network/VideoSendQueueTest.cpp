// The video queue's rules on a clock the test moves: what waits, what is dropped, what is
// held for its stream_config, and what the latency histogram sees.

#include "network/VideoSendQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;
using Clock = VideoSendQueue::Clock;

class VideoSendQueueTest : public ::testing::Test {
protected:
    VideoSendQueueTest() { queue.restart(t0); }

    // Offers a frame and queues it when accepted; returns the verdict.
    VideoSendQueue::Verdict frame(std::uint8_t stream, bool keyframe, Clock::time_point at,
                                  std::shared_ptr<DeliveryGate> gate = nullptr) {
        auto verdict = queue.offer(stream, keyframe, at);
        if (verdict.accepted) {
            auto packet = queue.acquire(100);
            packet->streamId = stream;
            packet->keyframe = keyframe;
            packet->arrival = at;
            queue.push(std::move(packet), std::move(gate), at);
        }
        return verdict;
    }
    // Writes out everything that may go now; the streams and kinds, in order.
    std::vector<std::pair<int, bool>> writeAll(Clock::time_point at) {
        std::vector<std::pair<int, bool>> out;
        VideoSendQueue::StreamSet overdue;
        std::optional<Clock::time_point> wakeAt;
        while (auto packet = queue.next(at, overdue, wakeAt)) {
            out.emplace_back(packet->streamId, packet->keyframe);
            queue.written(std::move(packet), at);
        }
        return out;
    }

    Clock::time_point t0 = Clock::now();
    VideoSendQueue queue;
};

TEST_F(VideoSendQueueTest, EachStreamStartsWithAKeyframeAndAsksForOneOnce) {
    auto first = frame(1, false, t0);
    EXPECT_FALSE(first.accepted);
    EXPECT_TRUE(first.keyframeRequests[1]);
    EXPECT_FALSE(frame(1, false, t0 + 10ms).keyframeRequests[1]) << "asked already";
    EXPECT_TRUE(frame(1, false, t0 + VideoSendQueue::kKeyframeRetry).keyframeRequests[1]) << "the request got lost";
    EXPECT_TRUE(frame(1, true, t0 + 1s).accepted);
    EXPECT_TRUE(frame(1, false, t0 + 1s).accepted);
    EXPECT_EQ(writeAll(t0 + 1s), (std::vector<std::pair<int, bool>>{{1, true}, {1, false}}));
}

TEST_F(VideoSendQueueTest, FullQueueDropsPFramesUntilTheStreamsNextKeyframe) {
    frame(1, true, t0);
    frame(2, true, t0);
    frame(1, false, t0);
    frame(2, false, t0);
    ASSERT_EQ(queue.pendingFrames(), VideoSendQueue::kQueueLimit);

    auto full = frame(1, false, t0 + 10ms);
    EXPECT_FALSE(full.accepted);
    EXPECT_EQ(full.reason, FrameDrop::QueueFull);
    EXPECT_TRUE(full.keyframeRequests[1]);
    // Its stream's queued P-frame is pointless now; the other stream keeps its own.
    EXPECT_EQ(queue.pendingFrames(), 3);
    EXPECT_FALSE(frame(1, false, t0 + 20ms).accepted) << "undecodable until the keyframe";
    EXPECT_TRUE(frame(2, false, t0 + 20ms).accepted);
    // A keyframe always gets in, room or not, and replaces what its stream still had queued.
    EXPECT_TRUE(frame(1, true, t0 + 30ms).accepted);
    EXPECT_EQ(writeAll(t0 + 30ms), (std::vector<std::pair<int, bool>>{{2, true}, {2, false}, {2, false}, {1, true}}));
}

TEST_F(VideoSendQueueTest, StallDropsQueuedPFramesKeepsKeyframesAndAsksEachStream) {
    frame(1, true, t0);
    frame(2, true, t0);
    VideoSendQueue::StreamSet overdue;
    std::optional<Clock::time_point> wakeAt;
    auto inFlight = queue.next(t0, overdue, wakeAt);  // the socket takes no more of it
    frame(2, false, t0 + 1ms);
    frame(3, true, t0 + 1ms);
    ASSERT_EQ(queue.pendingFrames(), 4);

    auto early = frame(3, false, t0 + 50ms);
    EXPECT_EQ(early.reason, FrameDrop::QueueFull);
    auto stalled = frame(4, false, t0 + 150ms);
    EXPECT_EQ(stalled.reason, FrameDrop::Stalled);
    EXPECT_GE(stalled.waitedMs, 149);
    EXPECT_FALSE(stalled.accepted);
    EXPECT_TRUE(stalled.keyframeRequests[2]) << "lost its queued P-frame";
    EXPECT_TRUE(stalled.keyframeRequests[4]);
    // The frame in flight and the two keyframes stay.
    EXPECT_EQ(queue.pendingFrames(), 3);
    queue.written(std::move(inFlight), t0 + 200ms);
    EXPECT_EQ(writeAll(t0 + 200ms), (std::vector<std::pair<int, bool>>{{2, true}, {3, true}}));
}

TEST_F(VideoSendQueueTest, KeyframeWaitsForItsConfigWhileOtherStreamsPass) {
    auto gate = std::make_shared<DeliveryGate>();
    frame(5, true, t0);
    EXPECT_EQ(writeAll(t0).size(), 1u);
    frame(1, true, t0, gate);
    frame(1, false, t0);
    frame(5, false, t0);
    EXPECT_EQ(writeAll(t0 + 10ms), (std::vector<std::pair<int, bool>>{{5, false}}));

    VideoSendQueue::StreamSet overdue;
    std::optional<Clock::time_point> wakeAt;
    EXPECT_EQ(queue.next(t0 + 10ms, overdue, wakeAt), nullptr);
    EXPECT_EQ(wakeAt, t0 + VideoSendQueue::kConfigWait);
    // A newer keyframe replaces the held one and stays held by the same config.
    frame(1, true, t0 + 20ms);
    EXPECT_TRUE(writeAll(t0 + 20ms).empty());
    gate->open(true);
    EXPECT_EQ(writeAll(t0 + 30ms), (std::vector<std::pair<int, bool>>{{1, true}}));
}

TEST_F(VideoSendQueueTest, KeyframeGoesAnywayWhenItsConfigIsLate) {
    frame(1, true, t0, std::make_shared<DeliveryGate>());
    VideoSendQueue::StreamSet overdue;
    std::optional<Clock::time_point> wakeAt;
    EXPECT_EQ(queue.next(t0 + 99ms, overdue, wakeAt), nullptr);
    auto late = queue.next(t0 + VideoSendQueue::kConfigWait, overdue, wakeAt);
    ASSERT_NE(late, nullptr);
    EXPECT_TRUE(overdue[1]);
    queue.written(std::move(late), t0 + 100ms);
    frame(1, true, t0 + 200ms);  // the gate is spent: no wait now
    EXPECT_EQ(writeAll(t0 + 200ms).size(), 1u);
}

TEST_F(VideoSendQueueTest, NewConnectionDropsTheQueueAndAsksLiveStreamsForKeyframes) {
    frame(1, true, t0);
    frame(2, true, t0);
    queue.markLive(3);
    queue.endStream(2);
    auto requests = queue.restart(t0 + 1s);
    EXPECT_EQ(queue.pendingFrames(), 0);
    EXPECT_TRUE(requests[1]);
    EXPECT_FALSE(requests[2]) << "ended";
    EXPECT_TRUE(requests[3]) << "sent frames while nobody was connected";
    EXPECT_FALSE(frame(1, false, t0 + 1s).accepted);
}

TEST_F(VideoSendQueueTest, LatencyRunsFromArrivalToTheWholePacketWritten) {
    EXPECT_EQ(queue.endStream(1), nullptr);
    for (int i = 0; i < 3; ++i) {
        frame(1, true, t0);
        VideoSendQueue::StreamSet overdue;
        std::optional<Clock::time_point> wakeAt;
        queue.written(queue.next(t0, overdue, wakeAt), t0 + 5ms);
    }
    auto latency = queue.endStream(1);
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->count(), 3u);
    EXPECT_NEAR(latency->maxMs(), 5.0, 0.01);
    EXPECT_EQ(queue.endStream(1), nullptr) << "reported once";
}

TEST_F(VideoSendQueueTest, BuffersAreReusedOnceWarm) {
    frame(1, true, t0);
    VideoSendQueue::StreamSet overdue;
    std::optional<Clock::time_point> wakeAt;
    auto packet = queue.next(t0, overdue, wakeAt);
    const auto* storage = packet->data.get();
    queue.written(std::move(packet), t0);
    auto again = queue.acquire(90);
    EXPECT_EQ(again->data.get(), storage);
    EXPECT_EQ(again->size, 90u);
}

TEST(FrameDropTest, PFramesDropWhenQueueFullKeyframesOnlyOnStall) {
    EXPECT_EQ(decideFrameDrop(50, 3, false), FrameDrop::Send);
    EXPECT_EQ(decideFrameDrop(50, 4, false), FrameDrop::QueueFull);
    EXPECT_EQ(decideFrameDrop(50, 4, true), FrameDrop::Send);
    EXPECT_EQ(decideFrameDrop(101, 4, true), FrameDrop::Stalled);
    EXPECT_EQ(decideFrameDrop(101, 3, false), FrameDrop::Send);
}

}  // namespace
}  // namespace lumivane::host
