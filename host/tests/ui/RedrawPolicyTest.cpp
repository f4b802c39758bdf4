#include "ui/RedrawPolicy.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;
using Clock = RedrawPolicy::Clock;

// Steps a simulated loop: each iteration waits what the policy allows (or until `step`),
// draws when it says so, and counts the frames.
struct Loop {
    RedrawPolicy policy{60, Clock::time_point{}};
    Clock::time_point now{};
    int frames = 0;
    Clock::time_point lastFrame{};
    Clock::duration shortestGap = std::chrono::hours(1);

    void run(Clock::duration length, bool visible = true, bool front = true) {
        const auto end = now + length;
        while (now < end) {
            now += std::max<Clock::duration>(policy.idleWait(now, visible, front), 1ms);
            if (policy.shouldDraw(now, visible, front)) {
                policy.drawn(now);
                if (frames++ > 0) shortestGap = std::min(shortestGap, now - lastFrame);
                lastFrame = now;
            }
        }
    }
};

TEST(RedrawPolicyTest, NothingHappeningDrawsNothingAndTheLoopMostlySleeps) {
    Loop loop;
    loop.run(1s);
    EXPECT_EQ(loop.frames, RedrawPolicy::kChangeFrames) << "the first frames only";
    EXPECT_EQ(loop.policy.idleWait(loop.now, true, true), RedrawPolicy::kStatusPoll);
    loop.run(10s);
    EXPECT_EQ(loop.frames, RedrawPolicy::kChangeFrames);
}

TEST(RedrawPolicyTest, InputDrawsAtTheDisplayRateUntilItSettlesAndChangesDrawAFewFrames) {
    Loop loop;
    loop.run(1s);
    loop.policy.onInput(loop.now);
    EXPECT_EQ(loop.policy.idleWait(loop.now, true, true), Clock::duration::zero()) << "input draws at once";
    loop.run(2s);
    EXPECT_NEAR(loop.frames - RedrawPolicy::kChangeFrames, 60 * 0.5, 3) << "half a second of frames at 60 Hz";

    const int before = loop.frames;
    loop.policy.onChange();
    loop.run(2s);
    EXPECT_EQ(loop.frames, before + RedrawPolicy::kChangeFrames);

    EXPECT_GE(loop.shortestGap, 16ms) << "never faster than the display";

    // Behind another window, a stream of changes is drawn at most 10 times a second.
    loop.shortestGap = std::chrono::hours(1);
    for (int i = 0; i < 100; ++i) {
        loop.policy.onChange();
        loop.run(10ms, true, false);
    }
    EXPECT_GE(loop.shortestGap, 100ms);
}

TEST(RedrawPolicyTest, AMinimisedWindowDrawsWhenShownAgain) {
    Loop loop;
    loop.run(1s);
    const int before = loop.frames;
    loop.policy.onChange();
    loop.run(5s, false, false);
    EXPECT_EQ(loop.frames, before);
    loop.run(100ms);
    EXPECT_EQ(loop.frames, before + RedrawPolicy::kChangeFrames) << "what changed meanwhile is drawn on return";
}

TEST(RedrawPolicyTest, TheWindowListIsFetchedWhileShownAndNotOnEveryIteration) {
    RedrawPolicy policy(60, Clock::time_point{});
    Clock::time_point t{};
    EXPECT_TRUE(policy.windowListDue(t, true)) << "at once when first shown";
    int fetched = 0;
    for (int i = 0; i < 600; ++i) fetched += policy.windowListDue(t += 10ms, true);
    EXPECT_EQ(fetched, 3) << "every two seconds over six";
    for (int i = 0; i < 600; ++i) fetched += policy.windowListDue(t += 10ms, false);
    EXPECT_EQ(fetched, 3) << "never minimised";
    EXPECT_TRUE(policy.windowListDue(t += 10ms, true)) << "at once when shown again";
}

}  // namespace
}  // namespace lumivane::host
