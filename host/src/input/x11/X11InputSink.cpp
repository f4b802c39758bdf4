#include "input/x11/X11InputSink.h"

#include "input/x11/X11ErrorTrap.h"
#include "input/x11/X11KeyTable.h"
#include "core/Logging.h"

#include <X11/keysym.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

// Xrandr.h defines Absolute as a macro, which hides our flag of that name.
#undef Absolute

namespace lumivane::host {

std::unique_ptr<InputSink> InputSink::create() { return X11InputSink::open(); }

std::unique_ptr<X11InputSink> X11InputSink::open(const char* displayName) {
    DisplayPtr display(XOpenDisplay(displayName));
    if (!display) {
        LV_ERROR("Cannot open X display for input injection");
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor)) {
        LV_ERROR("X server lacks the XTEST extension; input injection disabled");
        return nullptr;
    }
    return std::unique_ptr<X11InputSink>(new X11InputSink(std::move(display)));
}

X11InputSink::X11InputSink(DisplayPtr display)
    : display_(std::move(display)), root_(DefaultRootWindow(display_.get())), spareKeys_(display_.get()),
      foreground_(display_.get()) {}

X11InputSink::~X11InputSink() = default;

uint32_t X11InputSink::sendInputs(const InputRecord* records, uint32_t count) {
    uint32_t sent = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const InputRecord& r = records[i];
        const bool ok = r.type == InputType::Mouse ? applyMouse(r) : applyKey(r);
        if (ok) ++sent;
    }
    XFlush(display_.get());
    return sent;
}

bool X11InputSink::applyMouse(const InputRecord& r) {
    Display* d = display_.get();
    bool ok = true;
    if (r.flags & MouseFlags::Move) {
        const ScreenMetrics vs = virtualScreen();
        int x = r.dx, y = r.dy;
        if (r.flags & MouseFlags::Absolute) {
            // Round so a pixel survives the trip to 0..65535 and back.
            x = vs.x + static_cast<int>((static_cast<int64_t>(r.dx) * vs.width + 32767) / 65535);
            y = vs.y + static_cast<int>((static_cast<int64_t>(r.dy) * vs.height + 32767) / 65535);
            x = std::clamp(x, vs.x, vs.x + vs.width - 1);
            y = std::clamp(y, vs.y, vs.y + vs.height - 1);
            ok = XTestFakeMotionEvent(d, -1, x, y, CurrentTime) != 0;
        } else {
            ok = XTestFakeRelativeMotionEvent(d, x, y, CurrentTime) != 0;
        }
    }
    struct ButtonFlag { uint32_t flag; unsigned button; bool down; };
    const ButtonFlag table[] = {
        {MouseFlags::LeftDown, 1, true}, {MouseFlags::LeftUp, 1, false},
        {MouseFlags::RightDown, 3, true}, {MouseFlags::RightUp, 3, false},
        {MouseFlags::MiddleDown, 2, true}, {MouseFlags::MiddleUp, 2, false},
        {MouseFlags::XDown, r.mouseData == 2 ? 9u : 8u, true},
        {MouseFlags::XUp, r.mouseData == 2 ? 9u : 8u, false},
    };
    for (const ButtonFlag& b : table) {
        if (r.flags & b.flag) ok = XTestFakeButtonEvent(d, b.button, b.down, CurrentTime) && ok;
    }
    if (r.flags & MouseFlags::Wheel) ok = applyWheel(static_cast<int32_t>(r.mouseData)) && ok;
    return ok;
}

// One click of button 4 (up) or 5 (down) per 120 units; smaller deltas accumulate.
bool X11InputSink::applyWheel(int32_t delta) {
    wheelRemainder_ += delta;
    bool ok = true;
    while (wheelRemainder_ >= 120 || wheelRemainder_ <= -120) {
        const unsigned button = wheelRemainder_ > 0 ? 4 : 5;
        wheelRemainder_ += wheelRemainder_ > 0 ? -120 : 120;
        ok = XTestFakeButtonEvent(display_.get(), button, True, CurrentTime) && ok;
        ok = XTestFakeButtonEvent(display_.get(), button, False, CurrentTime) && ok;
    }
    return ok;
}

bool X11InputSink::applyKey(const InputRecord& r) {
    if (r.flags & KeyFlags::Unicode) return applyUnicode(r);
    const unsigned long keysym = keysymForVirtualKey(r.vk);
    if (keysym == NoSymbol) {
        LV_DEBUG("No keysym for virtual key {}", r.vk);
        return false;
    }
    return pressKeysym(keysym, !(r.flags & KeyFlags::KeyUp));
}

bool X11InputSink::pressKeysym(unsigned long keysym, bool down) {
    KeyCode kc = XKeysymToKeycode(display_.get(), keysym);
    if (kc == 0) kc = spareKeys_.bind(keysym);
    if (kc == 0) return false;
    return XTestFakeKeyEvent(display_.get(), kc, down, CurrentTime) != 0;
}

// A surrogate pair is typed as one code point when its low half arrives.
bool X11InputSink::applyUnicode(const InputRecord& r) {
    const uint16_t unit = r.scan;
    const bool down = !(r.flags & KeyFlags::KeyUp);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (down) pendingHighSurrogate_ = unit;
        return true;
    }
    uint32_t codePoint = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (pendingHighSurrogate_ == 0) return false;
        codePoint = 0x10000 + ((pendingHighSurrogate_ - 0xD800u) << 10) + (unit - 0xDC00u);
        if (!down) pendingHighSurrogate_ = 0;
    }
    return typeCodePoint(codePoint, down);
}

bool X11InputSink::typeCodePoint(uint32_t codePoint, bool down) {
    if (down) {
        charKeycode_ = spareKeys_.bind(keysymForCodePoint(codePoint));
        if (charKeycode_ == 0) return false;
    }
    if (charKeycode_ == 0) return false;
    const bool ok = XTestFakeKeyEvent(display_.get(), charKeycode_, down, CurrentTime) != 0;
    if (!down) charKeycode_ = 0;
    return ok;
}

uint16_t X11InputSink::scanCode(uint16_t vk) {
    const unsigned long keysym = keysymForVirtualKey(vk);
    return keysym == NoSymbol ? 0 : XKeysymToKeycode(display_.get(), keysym);
}

bool X11InputSink::windowRect(WindowHandle window, ScreenRect& rect) {
    if (window == 0) return false;
    X11ErrorTrap trap(display_.get());
    XWindowAttributes attrs{};
    const Window w = static_cast<Window>(window);
    int x = 0, y = 0;
    Window child = 0;
    const bool ok = XGetWindowAttributes(display_.get(), w, &attrs) &&
                    XTranslateCoordinates(display_.get(), w, root_, 0, 0, &x, &y, &child);
    lastError_ = static_cast<uint32_t>(trap.finish());
    if (!ok || lastError_ != 0) return false;
    rect = ScreenRect{x, y, x + attrs.width, y + attrs.height};
    return true;
}

ScreenMetrics X11InputSink::virtualScreen() {
    Display* d = display_.get();
    const int screen = DefaultScreen(d);
    return ScreenMetrics{0, 0, DisplayWidth(d, screen), DisplayHeight(d, screen)};
}

ScreenMetrics X11InputSink::primaryScreen() {
    Display* d = display_.get();
    ScreenMetrics result = virtualScreen();
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(d, &eventBase, &errorBase)) return result;
    const RROutput primary = XRRGetOutputPrimary(d, root_);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root_);
    if (!res) return result;
    if (primary != None) {
        if (XRROutputInfo* out = XRRGetOutputInfo(d, res, primary)) {
            if (out->crtc != None) {
                if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(d, res, out->crtc)) {
                    result = ScreenMetrics{crtc->x, crtc->y, static_cast<int32_t>(crtc->width),
                                           static_cast<int32_t>(crtc->height)};
                    XRRFreeCrtcInfo(crtc);
                }
            }
            XRRFreeOutputInfo(out);
        }
    }
    XRRFreeScreenResources(res);
    return result;
}

bool X11InputSink::isWindow(WindowHandle window) {
    if (window == 0) return false;
    X11ErrorTrap trap(display_.get());
    XWindowAttributes attrs{};
    const bool ok = XGetWindowAttributes(display_.get(), static_cast<Window>(window), &attrs);
    lastError_ = static_cast<uint32_t>(trap.finish());
    return ok && lastError_ == 0;
}

// X windows carry no frame styles; their sizes are client sizes and a window manager adds
// its frame outside, so the outer rectangle is the client rectangle.
WindowStyles X11InputSink::styles(WindowHandle) { return WindowStyles{}; }

ScreenRect X11InputSink::adjustRect(const ScreenRect& client, const WindowStyles&) {
    return client;
}

void X11InputSink::minimumTrackSize(WindowHandle window, int32_t& width, int32_t& height) {
    width = height = 0;
    X11ErrorTrap trap(display_.get());
    XSizeHints hints{};
    long supplied = 0;
    if (XGetWMNormalHints(display_.get(), static_cast<Window>(window), &hints, &supplied) &&
        (hints.flags & PMinSize)) {
        width = hints.min_width;
        height = hints.min_height;
    }
    trap.finish();
}

bool X11InputSink::sendMoveResize(Window w, int32_t left, int32_t top, int32_t width,
                                  int32_t height, bool keepPosition) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(display_.get(), "_NET_MOVERESIZE_WINDOW", False);
    ev.xclient.format = 32;
    // Gravity from the window, width and height always, x and y unless kept; source: pager.
    const long positionBits = keepPosition ? 0 : (1L << 8) | (1L << 9);
    ev.xclient.data.l[0] = positionBits | (1L << 10) | (1L << 11) | (2L << 12);
    ev.xclient.data.l[1] = left;
    ev.xclient.data.l[2] = top;
    ev.xclient.data.l[3] = width;
    ev.xclient.data.l[4] = height;
    return XSendEvent(display_.get(), root_, False,
                      SubstructureRedirectMask | SubstructureNotifyMask, &ev) != 0;
}

bool X11InputSink::setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width,
                               int32_t height, bool keepPosition) {
    if (width <= 0 || height <= 0) {
        lastError_ = BadValue;
        return false;
    }
    const Window w = static_cast<Window>(window);
    const bool managed = foreground_.hasWindowManager();
    X11ErrorTrap trap(display_.get());
    bool ok = true;
    if (managed) {
        ok = sendMoveResize(w, left, top, width, height, keepPosition);
    } else if (keepPosition) {
        XResizeWindow(display_.get(), w, static_cast<unsigned>(width), static_cast<unsigned>(height));
    } else {
        XMoveResizeWindow(display_.get(), w, left, top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
    }
    lastError_ = static_cast<uint32_t>(trap.finish());
    return ok && lastError_ == 0;
}

bool X11InputSink::isForeground(WindowHandle window) { return foreground_.isForeground(static_cast<Window>(window)); }

bool X11InputSink::bringToFront(WindowHandle window) { return foreground_.bringToFront(static_cast<Window>(window)); }

}  // namespace lumivane::host
