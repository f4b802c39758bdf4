#pragma once
// When the dashboard's window is drawn: on input (and for a moment after it, so hover and
// click feedback settle), and whenever what it shows has changed; never because time
// passed. With nothing happening the host then draws nothing and only looks at its
// status a few times a second. Platform-neutral: each entry point feeds it its events.

#include <chrono>

namespace lumivane::host {

class RedrawPolicy {
public:
    using Clock = std::chrono::steady_clock;

    // Frames keep coming this long after the last input.
    static constexpr auto kSettle = std::chrono::milliseconds(500);
    // How often the loop wakes without input to compare what the dashboard shows.
    static constexpr auto kStatusPoll = std::chrono::milliseconds(250);
    // Shortest time between frames while the window is behind another one.
    static constexpr auto kBackgroundPeriod = std::chrono::milliseconds(100);
    // How often the window list (with its icons) is fetched while the dashboard is shown.
    static constexpr auto kWindowListPeriod = std::chrono::seconds(2);
    // Frames drawn for one change: what a frame lays out (a new log line's height, a
    // scroll to the bottom) takes effect in the frame after it.
    static constexpr int kChangeFrames = 2;

    // `refreshHz`: the display's rate, the fastest the window is drawn in front.
    explicit RedrawPolicy(int refreshHz, Clock::time_point now = Clock::now());

    void onInput(Clock::time_point now);
    void onChange() { pendingFrames_ = kChangeFrames; }

    // `visible`: not minimised; `front`: it has the focus.
    bool shouldDraw(Clock::time_point now, bool visible, bool front) const;
    void drawn(Clock::time_point now);
    // How long the loop may wait for input before it next draws or looks at the status.
    Clock::duration idleWait(Clock::time_point now, bool visible, bool front) const;

    // Whether to fetch the window list now: every kWindowListPeriod while the window is
    // shown, at once when it is shown again, never while minimised.
    bool windowListDue(Clock::time_point now, bool visible);

private:
    Clock::duration framePeriod(bool front) const;
    bool wantsFrames(Clock::time_point now) const { return pendingFrames_ > 0 || now < settleUntil_; }

    Clock::duration period_;
    int pendingFrames_ = kChangeFrames;  // the first frames
    Clock::time_point settleUntil_;
    Clock::time_point lastDraw_;
    bool listStale_ = true;
    Clock::time_point lastList_;
};

}  // namespace lumivane::host
