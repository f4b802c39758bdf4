// Apart from the test: Xlib's macros (None, Status...) clash with gtest's names.

#include "e2e/EndToEndSupport.h"

#include <X11/Xlib.h>

namespace lumivane::host::e2e {

bool focusFollowsPointer() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XCloseDisplay(display);
    return true;
}

}  // namespace lumivane::host::e2e
