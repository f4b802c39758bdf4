#include "XTestHelpers.h"

#include <X11/Xlib.h>

namespace lumivane::host {

bool resizeWindow(std::uint32_t window, unsigned width, unsigned height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XResizeWindow(display, window, width, height);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

}  // namespace lumivane::host

namespace lumivane::host {

bool warpPointer(int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

}  // namespace lumivane::host

namespace lumivane::host {

bool holdDisplayOpen() {
    static Display* held = XOpenDisplay(nullptr);
    return held != nullptr;
}

}  // namespace lumivane::host

namespace lumivane::host {

bool setWindowMapped(std::uint32_t window, bool mapped) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    if (mapped) {
        XMapWindow(display, window);
    } else {
        XUnmapWindow(display, window);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

}  // namespace lumivane::host
