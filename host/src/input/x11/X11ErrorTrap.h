#pragma once
// Catches the X errors of the calls made while it lives, instead of Xlib's default handler
// ending the process. The handler is process-wide, so errors of other connections in that
// short span are swallowed too.

#include <X11/Xlib.h>

namespace lumivane::host {

class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server's answer to everything sent; the error code or 0.
    int finish();

private:
    Display* display_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

}  // namespace lumivane::host
