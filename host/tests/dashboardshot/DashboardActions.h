#pragma once
// What a person does on the dashboard, done with the pointer and checked on the screen.

#include "HostWindow.h"

#include <chrono>
#include <functional>
#include <optional>

namespace lumivane::host::dashboard {

constexpr std::chrono::seconds kScreenTimeout{20};

using Condition = std::function<bool(const Picture&)>;

// The pixel at (x, y) shows the hover colour of buttons and list rows.
Condition hoveredAt(int x, int y);

// Moves the pointer to (x, y) and clicks once the host shows `hovered`; keeps it there
// until the host shows `clicked` (a click counts only if the release lands on the item),
// then moves it off the window. False when either never shows.
bool clickAt(HostWindow& window, int x, int y, const Condition& hovered, const Condition& clicked);

// Clicks the page's navigation button; the first picture that shows it selected, with the
// pointer off the window.
std::optional<Picture> showPage(HostWindow& window, int page);

}  // namespace lumivane::host::dashboard
