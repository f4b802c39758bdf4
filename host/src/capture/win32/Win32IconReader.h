#pragma once
// A window's icon as BGRA pixels drawn over black, and its process's image path.

#include "capture/WindowSystem.h"

#include <windows.h>

#include <optional>
#include <string>

namespace lumivane::host {

// Full image path of the window's process; empty when it cannot be opened or read.
std::string processImagePathOf(HWND window);

// The first icon of: WM_GETICON big, small (100 ms, not from a hung window), the class
// icon, the small class icon, the executable's first icon; rendered at its own size.
// Null without a log line when there is no icon; null with a warning when it cannot be drawn.
std::optional<IconImage> readWindowIcon(HWND window);

}  // namespace lumivane::host
