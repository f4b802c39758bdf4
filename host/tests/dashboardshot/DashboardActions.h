#pragma once
// What a person does on the dashboard, done with the pointer and checked on the screen.

#include "HostWindow.h"

#include <chrono>
#include <optional>

namespace lumivane::host::dashboard {

constexpr std::chrono::seconds kScreenTimeout{20};

// Clicks at (x, y) once the host shows the pointer there: the pixel at (probeX, probeY)
// changes colour under it. The pointer leaves the window afterwards.
bool clickAt(HostWindow& window, int x, int y, int probeX, int probeY);

// Clicks the page's navigation button and returns the first picture that shows it selected.
std::optional<Picture> showPage(HostWindow& window, int page);

}  // namespace lumivane::host::dashboard
