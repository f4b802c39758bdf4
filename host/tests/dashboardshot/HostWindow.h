#pragma once
// The host's window seen from outside, as a person sees it: found by its process id,
// raised, its pixels read back and the pointer moved and clicked through XTest. Xlib stays
// in the .cpp (its macros clash with gtest).

#include "ui/screenshot/Picture.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::host {

class HostWindow {
public:
    // The viewable top-level window whose _NET_WM_PID is `pid`, once it appears.
    static std::unique_ptr<HostWindow> find(pid_t pid, std::chrono::milliseconds timeout);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // On top of every other window, so its pixels and clicks are its own.
    void raise();
    // The window's pixels now; empty if they cannot be read.
    Picture grab();
    // The window's current picture if it satisfies `accept`, else the first one drawn after
    // this call that does; nullopt when none comes before the deadline. Waits on the
    // window's damage, so it follows the host's frames without polling.
    std::optional<Picture> waitFor(const std::function<bool(const Picture&)>& accept,
                                   std::chrono::milliseconds timeout);

    // Pointer in window coordinates; press and release the left button where it is.
    void pointerTo(int x, int y);
    // Off the window, so nothing of it shows as hovered.
    void pointerAway();
    void press();
    void release();

private:
    struct X;
    explicit HostWindow(std::unique_ptr<X> x);
    std::unique_ptr<X> x_;
};

}  // namespace lumivane::host
