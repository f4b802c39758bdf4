#include "HostWindow.h"

#include "capture/x11/XDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

#include <cerrno>

namespace lumivane::host {

using Clock = std::chrono::steady_clock;

struct HostWindow::X {
    XDisplayPtr display;
    Window window = 0;
    Damage damage = 0;
    int damageEvent = 0;
};

namespace {

std::optional<unsigned long> windowPid(Display* display, Window window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) != Success)
        return std::nullopt;
    XPtr<unsigned char> owned(data);
    if (!data || format != 32 || count != 1) return std::nullopt;
    return *reinterpret_cast<unsigned long*>(data);
}

Window viewableWindowOf(Display* display, pid_t pid) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    XPtr<Window> owned(children);
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (windowPid(display, children[i]) != static_cast<unsigned long>(pid)) continue;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
            return children[i];
    }
    return 0;
}

// Waits until the X connection has something to read; false at the deadline.
bool waitReadable(Display* display, Clock::time_point deadline) {
    if (XPending(display) > 0) return true;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        const int ready = poll(&fd, 1, int(left));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

}  // namespace

std::unique_ptr<HostWindow> HostWindow::find(pid_t pid, std::chrono::milliseconds timeout) {
    auto x = std::make_unique<X>();
    x->display = openXDisplay();
    if (!x->display) return nullptr;
    Display* display = x->display.get();
    // Map events from here on, so a window mapped after the first look still wakes us.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const auto deadline = Clock::now() + timeout;
    while (!(x->window = viewableWindowOf(display, pid))) {
        if (!waitReadable(display, deadline)) return nullptr;
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
    }
    XSelectInput(display, DefaultRootWindow(display), NoEventMask);
    int errorBase = 0;
    if (!XDamageQueryExtension(display, &x->damageEvent, &errorBase)) return nullptr;
    x->damage = XDamageCreate(display, x->window, XDamageReportNonEmpty);
    XSync(display, False);
    return std::unique_ptr<HostWindow>(new HostWindow(std::move(x)));
}

HostWindow::HostWindow(std::unique_ptr<X> x) : x_(std::move(x)) {}

HostWindow::~HostWindow() {
    if (x_->damage) XDamageDestroy(x_->display.get(), x_->damage);
    XSync(x_->display.get(), False);
}

void HostWindow::raise() {
    XRaiseWindow(x_->display.get(), x_->window);
    XSync(x_->display.get(), False);
}

Picture HostWindow::grab() {
    Display* display = x_->display.get();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, x_->window, &attributes)) return {};
    XImage* image = XGetImage(display, x_->window, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                              AllPlanes, ZPixmap);
    if (!image) return {};
    Picture picture;
    if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst) {
        picture.width = image->width;
        picture.height = image->height;
        picture.bgra.resize(std::size_t(picture.width) * std::size_t(picture.height) * 4);
        const std::size_t row = std::size_t(picture.width) * 4;
        for (int y = 0; y < picture.height; ++y) {
            const auto* source = reinterpret_cast<const std::uint8_t*>(image->data) + std::size_t(y) * std::size_t(image->bytes_per_line);
            std::uint8_t* target = picture.bgra.data() + std::size_t(y) * row;
            for (std::size_t i = 0; i < row; i += 4) {
                target[i] = source[i];
                target[i + 1] = source[i + 1];
                target[i + 2] = source[i + 2];
                target[i + 3] = 255;
            }
        }
    }
    XDestroyImage(image);
    return picture;
}

std::optional<Picture> HostWindow::waitFor(const std::function<bool(const Picture&)>& accept,
                                           std::chrono::milliseconds timeout) {
    Display* display = x_->display.get();
    const auto deadline = Clock::now() + timeout;
    // Reports already here belong to frames before this call. Dropped before the damage is
    // cleared, never after: a report dropped then would leave damage that is never reported.
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
    }
    XDamageSubtract(display, x_->damage, None, None);
    XFlush(display);
    // The host draws only when something changes: what it shows now may already do.
    if (Picture now = grab(); !now.empty() && accept(now)) return now;
    for (;;) {
        bool drawn = false;
        while (!drawn) {
            if (!waitReadable(display, deadline)) return std::nullopt;
            XEvent event;
            XNextEvent(display, &event);
            drawn = event.type == x_->damageEvent + XDamageNotify;
        }
        XDamageSubtract(display, x_->damage, None, None);
        Picture picture = grab();
        if (!picture.empty() && accept(picture)) return picture;
    }
}

void HostWindow::pointerTo(int x, int y) {
    Display* display = x_->display.get();
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, x_->window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    XSync(display, False);
}

void HostWindow::pointerAway() {
    Display* display = x_->display.get();
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, x_->window, &attributes);
    pointerTo(attributes.width + 10, attributes.height + 10);
}

void HostWindow::press() {
    XTestFakeButtonEvent(x_->display.get(), 1, True, CurrentTime);
    XSync(x_->display.get(), False);
}

void HostWindow::release() {
    XTestFakeButtonEvent(x_->display.get(), 1, False, CurrentTime);
    XSync(x_->display.get(), False);
}

}  // namespace lumivane::host
