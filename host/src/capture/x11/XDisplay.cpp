#include "capture/x11/XDisplay.h"

#include "core/Logging.h"

#include <mutex>

namespace lumivane::host {

namespace {

int onXError(Display* display, XErrorEvent* event) {
    char text[128] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    LV_DEBUG("X error {} ({}) on request {}, resource {:x}", int(event->error_code), text,
             int(event->request_code), event->resourceid);
    return 0;
}

}  // namespace

XDisplayPtr openXDisplay() {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(onXError);
    });
    XDisplayPtr display(XOpenDisplay(nullptr));
    if (!display) LV_ERROR("Cannot open X display {}", XDisplayName(nullptr));
    return display;
}

}  // namespace lumivane::host
