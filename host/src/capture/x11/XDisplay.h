#pragma once
// Owning handles for Xlib objects, and a display opener that makes X errors survivable.

#include <X11/Xlib.h>

#include <memory>

namespace lumivane::host {

struct XDisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using XDisplayPtr = std::unique_ptr<Display, XDisplayCloser>;

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data) XFree(data);
    }
};
template <typename T>
using XPtr = std::unique_ptr<T, XFreeDeleter>;

// Opens $DISPLAY after XInitThreads, with an error handler that logs at debug level
// instead of ending the process (windows vanish between any two requests). Null on failure.
XDisplayPtr openXDisplay();

}  // namespace lumivane::host
