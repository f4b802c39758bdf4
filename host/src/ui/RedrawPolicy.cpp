#include "ui/RedrawPolicy.h"

#include <algorithm>

namespace lumivane::host {

RedrawPolicy::RedrawPolicy(int refreshHz, Clock::time_point now)
    : period_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / (refreshHz > 0 ? refreshHz : 60)))),
      lastDraw_(now - std::chrono::seconds(1)),
      lastList_(now) {}

void RedrawPolicy::onInput(Clock::time_point now) {
    pendingFrames_ = std::max(pendingFrames_, 1);
    settleUntil_ = now + kSettle;
}

RedrawPolicy::Clock::duration RedrawPolicy::framePeriod(bool front) const {
    return front ? period_ : std::max<Clock::duration>(period_, kBackgroundPeriod);
}

bool RedrawPolicy::shouldDraw(Clock::time_point now, bool visible, bool front) const {
    return visible && wantsFrames(now) && now - lastDraw_ >= framePeriod(front);
}

void RedrawPolicy::drawn(Clock::time_point now) {
    lastDraw_ = now;
    if (pendingFrames_ > 0) --pendingFrames_;
}

RedrawPolicy::Clock::duration RedrawPolicy::idleWait(Clock::time_point now, bool visible, bool front) const {
    if (!visible || !wantsFrames(now)) return kStatusPoll;
    return std::clamp<Clock::duration>(lastDraw_ + framePeriod(front) - now, Clock::duration::zero(), kStatusPoll);
}

bool RedrawPolicy::windowListDue(Clock::time_point now, bool visible) {
    if (!visible) {
        listStale_ = true;
        return false;
    }
    if (!listStale_ && now - lastList_ < kWindowListPeriod) return false;
    listStale_ = false;
    lastList_ = now;
    return true;
}

}  // namespace lumivane::host
