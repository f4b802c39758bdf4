#include "input/x11/X11EventWait.h"

#include <poll.h>

#include <cerrno>

namespace lumivane::host {

bool waitForEvents(Display* display, std::chrono::milliseconds timeout,
                   const std::function<bool(const XEvent* event)>& done) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XEventsQueued(display, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (done(&event)) return true;
        }
        if (done(nullptr)) return true;
        // `done` may have made requests whose replies brought events along.
        if (XEventsQueued(display, QueuedAlready) > 0) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        if (poll(&fd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
    }
}

}  // namespace lumivane::host
