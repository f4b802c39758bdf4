#include "input/x11/X11ErrorTrap.h"

namespace lumivane::host {
namespace {

int g_trappedError = 0;

int recordError(Display*, XErrorEvent* event) {
    g_trappedError = event->error_code;
    return 0;
}

}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    g_trappedError = 0;
    previous_ = XSetErrorHandler(recordError);
}

X11ErrorTrap::~X11ErrorTrap() { XSetErrorHandler(previous_); }

int X11ErrorTrap::finish() {
    XSync(display_, False);
    return g_trappedError;
}

}  // namespace lumivane::host
