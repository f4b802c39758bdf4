#include "input/x11/X11Foreground.h"

#include "input/InputRecord.h"
#include "input/x11/X11ErrorTrap.h"
#include "input/x11/X11EventWait.h"
#include "input/x11/X11Properties.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <vector>

namespace lumivane::host {
namespace {

// _NET_WM_DESKTOP of a window shown on every desktop.
constexpr long kAllDesktops = 0xFFFFFFFF;

bool contains(const std::vector<Atom>& atoms, Atom atom) {
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

}  // namespace

X11Foreground::X11Foreground(Display* display) : display_(display), root_(DefaultRootWindow(display)) {}

bool X11Foreground::hasWindowManager() {
    const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(display_, root_, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                                      &data);
    const bool present = rc == Success && count == 1;
    if (data) XFree(data);
    return present;
}

bool X11Foreground::isForeground(Window window) {
    if (window == 0) return false;
    X11ErrorTrap trap(display_);
    XWindowAttributes a{};
    const bool front = XGetWindowAttributes(display_, window, &a) && a.map_state == IsViewable && hasFocus(window) &&
                       !isCovered(window);
    return trap.finish() == 0 && front;
}

// A window manager decides stacking and focus itself: ask it to activate the window (as a
// pager does, which it honours and which also restores a minimised window), after showing
// the window's desktop where it is on another, and wait for it. Without one, raise the
// window and give it the focus directly.
bool X11Foreground::bringToFront(Window window) {
    if (window == 0) return false;
    if (hasWindowManager()) {
        XSelectInput(display_, root_, PropertyChangeMask | SubstructureNotifyMask);
        const long desktop = cardinalProperty(display_, window, "_NET_WM_DESKTOP");
        const long shown = cardinalProperty(display_, root_, "_NET_CURRENT_DESKTOP");
        if (desktop >= 0 && desktop != kAllDesktops && shown >= 0 && desktop != shown)
            sendToManager(root_, "_NET_CURRENT_DESKTOP", desktop);
        sendToManager(window, "_NET_ACTIVE_WINDOW", 2);  // source: pager
        const bool front = waitUntilForeground(window);
        XSelectInput(display_, root_, NoEventMask);
        XSync(display_, True);  // drop what the wait selected
        return front;
    }
    X11ErrorTrap trap(display_);
    XRaiseWindow(display_, topLevelOf(window));
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    return trap.finish() == 0 && isForeground(window);
}

// The root's child that holds the window: the window manager's frame, or the window itself.
Window X11Foreground::topLevelOf(Window window) {
    for (Window parent = parentOf(display_, window); parent != 0 && parent != root_;
         parent = parentOf(display_, window))
        window = parent;
    return window;
}

// Keys go to the focus window or, when the focus follows the pointer, wherever the
// pointer is; only the first counts as having the keyboard.
bool X11Foreground::hasFocus(Window window) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    for (Window f = focus; f != 0 && f != PointerRoot && f != root_; f = parentOf(display_, f)) {
        if (f == window) return true;
    }
    return false;
}

bool X11Foreground::rectOf(Window window, ScreenRect& rect) {
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    Window child = 0;
    if (!XGetWindowAttributes(display_, window, &attributes) ||
        !XTranslateCoordinates(display_, window, root_, 0, 0, &x, &y, &child))
        return false;
    rect = ScreenRect{x, y, x + attributes.width, y + attributes.height};
    return true;
}

// Whether part of the window is hidden: by a viewable window stacked above its top-level
// window, or by an ancestor. Popups (menus, tooltips: override-redirect) and windows the
// manager keeps above all others are left out: nothing brings a window over them, and a
// tooltip shown under the pointer is the rule.
bool X11Foreground::isCovered(Window window) {
    ScreenRect r;
    if (!rectOf(window, r)) return true;
    const Window top = topLevelOf(window);
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count)) return true;
    bool above = false, covered = false;
    for (unsigned i = 0; i < count && !covered; ++i) {  // bottom to top
        if (children[i] == top) {
            above = true;
            continue;
        }
        XWindowAttributes a{};
        if (!above || !XGetWindowAttributes(display_, children[i], &a) || a.map_state != IsViewable ||
            a.override_redirect)
            continue;
        const int right = a.x + a.width + 2 * a.border_width, bottom = a.y + a.height + 2 * a.border_width;
        covered = a.x < r.right && right > r.left && a.y < r.bottom && bottom > r.top && !staysOnTop(children[i]);
    }
    if (children) XFree(children);
    return covered || !above || isClipped(window, r);
}

// Whether an ancestor, such as a frame the window manager is still growing as it restores
// the window, shows only part of it: a click there would land on what lies behind.
bool X11Foreground::isClipped(Window window, const ScreenRect& r) {
    for (Window a = parentOf(display_, window); a != 0 && a != root_; a = parentOf(display_, a)) {
        ScreenRect outer;
        if (!rectOf(a, outer)) return true;
        if (r.left < outer.left || r.top < outer.top || r.right > outer.right || r.bottom > outer.bottom) return true;
    }
    return false;
}

// A managed window in the manager's upper layers: a dock, or one the user set above others.
bool X11Foreground::staysOnTop(Window topLevel) {
    const Window client = clientOf(topLevel);
    if (client == 0) return false;
    return contains(atomProperty(display_, client, "_NET_WM_STATE"), XInternAtom(display_, "_NET_WM_STATE_ABOVE", False)) ||
           contains(atomProperty(display_, client, "_NET_WM_WINDOW_TYPE"),
                    XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DOCK", False));
}

// The client window (the one with WM_STATE) in a root child: the child itself without a
// window manager, else one in its frame, a level or two down. 0 when there is none.
Window X11Foreground::clientOf(Window topLevel, int depth) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display_, topLevel, XInternAtom(display_, "WM_STATE", False), 0, 0, False, AnyPropertyType,
                       &type, &format, &count, &after, &data);
    if (data) XFree(data);
    if (type != 0) return topLevel;
    if (depth >= 2) return 0;
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(display_, topLevel, &rootReturn, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && found == 0; ++i) found = clientOf(children[i], depth + 1);
    if (children) XFree(children);
    return found;
}

// A client message to the window manager about `about`; the time is "now".
void X11Foreground::sendToManager(Window about, const char* message, long first) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = about;
    ev.xclient.message_type = XInternAtom(display_, message, False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = first;
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

// Wakes on each change the window manager makes on the root (the active window property,
// restacking, frames growing), up to a deadline; the manager may also refuse, which the
// deadline ends.
bool X11Foreground::waitUntilForeground(Window window) {
    return waitForEvents(display_, kManagerDeadline, [&](const XEvent* event) { return !event && isForeground(window); });
}

}  // namespace lumivane::host
