#pragma once
// Xlib calls for tests, kept out of files that include gtest (Xlib's macros clash with it).

#include <cstdint>

namespace lumivane::host {

// Resizes a window from a connection of its own; true once the server has done it.
bool resizeWindow(std::uint32_t window, unsigned width, unsigned height);

}  // namespace lumivane::host
