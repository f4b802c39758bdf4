#pragma once
// Whether a window is where presses and keys reach it, and bringing it there: through the
// window manager when one runs (it owns stacking and focus), else directly. Shares the
// sink's display connection and its caller.

#include <X11/Xlib.h>

#include <chrono>

namespace lumivane::host {

struct ScreenRect;

class X11Foreground {
public:
    // How long the window manager is given to act on a request.
    static constexpr std::chrono::milliseconds kManagerDeadline{1000};

    explicit X11Foreground(Display* display);

    // Viewable, with the keyboard, and nothing over any part of it that could be moved away.
    bool isForeground(Window window);
    // Raises the window and gives it the keyboard, restoring it first when minimised; true
    // once that has taken effect.
    bool bringToFront(Window window);
    // A window manager announces itself on the root (_NET_SUPPORTING_WM_CHECK).
    bool hasWindowManager();

private:
    Window topLevelOf(Window window);
    bool hasFocus(Window window);
    bool rectOf(Window window, ScreenRect& rect);
    bool isCovered(Window window);
    bool isClipped(Window window, const ScreenRect& rect);
    bool staysOnTop(Window topLevel);
    Window clientOf(Window topLevel, int depth = 0);
    void sendToManager(Window about, const char* message, long first);
    bool waitUntilForeground(Window window);

    Display* display_;
    Window root_;
};

}  // namespace lumivane::host
