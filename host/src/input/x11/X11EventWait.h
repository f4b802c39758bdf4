#pragma once
// Waiting on a display connection without spinning: reads events as they come and asks
// `done` about each (with the event) and after each batch (with null), until it says yes
// or the time is up.

#include <X11/Xlib.h>

#include <chrono>
#include <functional>

namespace lumivane::host {

bool waitForEvents(Display* display, std::chrono::milliseconds timeout,
                   const std::function<bool(const XEvent* event)>& done);

}  // namespace lumivane::host
