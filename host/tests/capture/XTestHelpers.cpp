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
