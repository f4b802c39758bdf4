#include "input/x11/X11Properties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace lumivane::host {

Window parentOf(Display* display, Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    return parent;
}

long cardinalProperty(Display* display, Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) == Success &&
        data && count == 1 && format == 32)
        value = static_cast<long>(*reinterpret_cast<const unsigned long*>(data));
    if (data) XFree(data);
    return value;
}

std::vector<Atom> atomProperty(Display* display, Window window, const char* name) {
    std::vector<Atom> list;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False, XA_ATOM, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == 32) {
        // Format 32 items are longs in Xlib's buffer.
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i) list.push_back(static_cast<Atom>(items[i]));
    }
    if (data) XFree(data);
    return list;
}

bool speaksProtocol(Display* display, Window window, Atom protocol) {
    Atom* protocols = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display, window, &protocols, &count)) return false;
    const bool found = std::find(protocols, protocols + count, protocol) != protocols + count;
    XFree(protocols);
    return found;
}

}  // namespace lumivane::host
