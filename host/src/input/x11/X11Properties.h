#pragma once
// Small Xlib reads the input sink's parts share. Errors are the caller's to trap.

#include <X11/Xlib.h>

#include <vector>

namespace lumivane::host {

// The window's parent; 0 for the root or when the window is gone.
Window parentOf(Display* display, Window window);
// A 32-bit CARDINAL property; -1 when the window has none.
long cardinalProperty(Display* display, Window window, const char* name);
// An ATOM list property (up to 64 items); empty when the window has none.
std::vector<Atom> atomProperty(Display* display, Window window, const char* name);
// Whether the window's WM_PROTOCOLS lists the protocol.
bool speaksProtocol(Display* display, Window window, Atom protocol);

}  // namespace lumivane::host
