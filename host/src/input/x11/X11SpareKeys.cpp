#include "input/x11/X11SpareKeys.h"

#include "core/Logging.h"
#include "input/x11/X11ErrorTrap.h"
#include "input/x11/X11EventWait.h"
#include "input/x11/X11Properties.h"

#include <memory>

namespace lumivane::host {

X11SpareKeys::X11SpareKeys(Display* display) : display_(display), root_(DefaultRootWindow(display)) { find(); }

X11SpareKeys::~X11SpareKeys() {
    for (std::size_t i = 0; i < count_; ++i) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(display_, keycodes_[i], 2, none, 1);
    }
    XSync(display_, False);
}

void X11SpareKeys::find() {
    int minKc = 0, maxKc = 0, perCode = 0;
    XDisplayKeycodes(display_, &minKc, &maxKc);
    std::unique_ptr<KeySym, int (*)(void*)> map(
        XGetKeyboardMapping(display_, static_cast<KeyCode>(minKc), maxKc - minKc + 1, &perCode), XFree);
    if (!map) return;
    for (int kc = maxKc; kc >= minKc && count_ < kSlots; --kc) {
        const KeySym* syms = map.get() + (kc - minKc) * perCode;
        bool empty = true;
        for (int i = 0; i < perCode; ++i) empty = empty && syms[i] == NoSymbol;
        if (empty) keycodes_[count_++] = static_cast<KeyCode>(kc);
    }
    if (count_ == 0) LV_WARN("No spare keycode; characters without a key cannot be typed");
}

// The keycode bound to the keysym already, else the one used longest ago. A receiver looks
// keysyms up when it reads the key, in the map of that moment, so a binding must stay until
// the keys typed through it were read: restoring it straight after the release, or binding
// it again while its receiver is busy, changes the character.
KeyCode X11SpareKeys::bind(unsigned long keysym) {
    if (count_ == 0) return 0;
    std::size_t slot = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        if (keysyms_[i] == keysym) {
            used_[i] = ++keySerial_;
            return keycodes_[i];
        }
        if (used_[i] < used_[slot]) slot = i;
    }
    if (used_[slot] > keysRead_) waitUntilKeysRead();
    // The same symbol on both levels: bound alone, a letter would get its lower case
    // unshifted and its upper case shifted, so "A" would arrive as "a", and a held Shift
    // would change the character typed.
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_, keycodes_[slot], 2, syms, 1);
    XSync(display_, False);
    keysyms_[slot] = keysym;
    used_[slot] = ++keySerial_;
    return keycodes_[slot];
}

// A client answers a _NET_WM_PING (the window manager's "are you alive") once it has read
// every event sent to it before, the keys typed so far among them. A receiver that does not
// take part, or does not answer in time, is not waited for again for the same keys.
void X11SpareKeys::waitUntilKeysRead() {
    const std::uint64_t typed = keySerial_;
    const Window client = keyReceiver();
    if (client != 0 && !ping(client)) LV_DEBUG("Window {:x} did not answer in time; typing on", client);
    keysRead_ = typed;
}

// The client window keys go to now: the focus window or, when the focus follows the pointer,
// the one under it; the first of it and its ancestors that answers pings. 0 when none does.
Window X11SpareKeys::keyReceiver() {
    X11ErrorTrap trap(display_);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (focus == PointerRoot || focus == root_) {
        Window rootReturn = 0, child = 0;
        int rx = 0, ry = 0, x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(display_, root_, &rootReturn, &child, &rx, &ry, &x, &y, &mask);
        focus = child;
    }
    const Atom ping = XInternAtom(display_, "_NET_WM_PING", False);
    Window found = 0;
    for (Window w = focus; w != 0 && w != root_ && found == 0; w = parentOf(display_, w)) {
        if (speaksProtocol(display_, w, ping)) found = w;
    }
    return trap.finish() == 0 ? found : 0;
}

bool X11SpareKeys::ping(Window client) {
    const Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
    const long stamp = static_cast<long>(++pingStamp_);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = client;
    ev.xclient.message_type = protocols;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "_NET_WM_PING", False));
    ev.xclient.data.l[1] = stamp;
    ev.xclient.data.l[2] = static_cast<long>(client);
    // The answer goes to the root, to whoever listens for its children's changes.
    XSelectInput(display_, root_, SubstructureNotifyMask);
    X11ErrorTrap trap(display_);
    XSendEvent(display_, client, False, NoEventMask, &ev);
    const bool answered = trap.finish() == 0 && waitForEvents(display_, kReceiverDeadline, [&](const XEvent* event) {
        return event && event->type == ClientMessage && event->xclient.message_type == protocols &&
               event->xclient.data.l[0] == ev.xclient.data.l[0] && event->xclient.data.l[1] == stamp;
    });
    XSelectInput(display_, root_, NoEventMask);
    XSync(display_, True);  // drop what the wait selected
    return answered;
}

}  // namespace lumivane::host
