#pragma once
// A real window manager (openbox) on the test X server for the length of a test, and the
// requests a user makes of it. Xlib stays out of this header (its macros clash with gtest).

#include <sys/types.h>

#include <cstdint>

namespace lumivane::host {

class X11WindowManager {
public:
    // Starts openbox and waits until it manages the screen; running() tells.
    X11WindowManager();
    // Stops it; the windows it managed go back to the root.
    ~X11WindowManager();
    X11WindowManager(const X11WindowManager&) = delete;
    X11WindowManager& operator=(const X11WindowManager&) = delete;

    bool running() const { return running_; }

    // Each waits until the window manager has done it (or a deadline passes).
    bool waitUntilManaged(std::uint32_t window);
    bool iconify(std::uint32_t window);
    bool restore(std::uint32_t window);
    bool moveToDesktop(std::uint32_t window, unsigned desktop);
    bool switchToDesktop(unsigned desktop);
    // Puts the window in the layer above all others (_NET_WM_STATE_ABOVE).
    bool keepAbove(std::uint32_t window);
    // Asks the manager to activate the window, as a pager or a click would.
    bool activate(std::uint32_t window);
    // The manager calls the window active (_NET_ACTIVE_WINDOW) and it is shown.
    bool waitUntilActive(std::uint32_t window);
    std::uint32_t activeWindow();

private:
    pid_t pid_ = -1;
    bool running_ = false;
};

}  // namespace lumivane::host
