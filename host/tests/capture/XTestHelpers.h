#pragma once
// Xlib calls for tests, kept out of files that include gtest (Xlib's macros clash with it).

#include <cstdint>

namespace lumivane::host {

// Resizes a window from a connection of its own; true once the server has done it.
bool resizeWindow(std::uint32_t window, unsigned width, unsigned height);

}  // namespace lumivane::host

namespace lumivane::host {

// Moves the pointer to (x, y) of the root window.
bool warpPointer(int x, int y);

}  // namespace lumivane::host

namespace lumivane::host {

// Keeps one connection open for the rest of the process: when its last client leaves, an X
// server resets and refuses connections for a moment, which would fail the next test.
bool holdDisplayOpen();

}  // namespace lumivane::host

namespace lumivane::host {

// Maps or unmaps a window from a connection of its own, as its application hiding or
// showing it would; true once the server has done it.
bool setWindowMapped(std::uint32_t window, bool mapped);

}  // namespace lumivane::host
