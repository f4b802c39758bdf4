#pragma once
// What a person reads off a picture of the dashboard: its colours and where its buttons,
// list rows and status texts are, found from the pixels alone.

#include "HostWindow.h"
#include "ui/DashboardPixels.h"

#include <cstdlib>
#include <optional>
#include <vector>

namespace lumivane::host::dashboard {

constexpr int kSidebarWidth = 260;
constexpr int kStatusBarHeight = 56;

// The seven navigation buttons, top to bottom (page order); fewer if the sidebar is not
// drawn as expected.
std::vector<Span> navigationButtons(const Picture& picture);
// The page whose navigation button is drawn selected, or -1; `hovered` also takes a
// selected button under the pointer.
int selectedPage(const Picture& picture, bool hovered = false);

// The window list's frame on the Dashboard page, inside its border.
std::optional<Box> windowList(const Picture& picture);
// The rows of the window list: one bright title line each.
std::vector<Span> windowRows(const Picture& picture, Box list);
// Where a row (given by its title line) says "Ready" or, in green, "Streaming".
Box rowStatus(Box list, Span title);
// A point inside the row left of its title, where its face shows.
struct Point {
    int x, y;
};
Point rowFace(Box list, Span title);

// The four frame-rate buttons on the Streaming page, left to right, as column spans on
// the row `y`; empty when they are not found. A selected button under the pointer counts
// as selected.
struct ButtonRow {
    int y = 0;
    std::vector<Span> buttons;
    int selected = -1;
};
ButtonRow frameRateButtons(const Picture& picture);

// The status bar's left part (dot and text) and its value area at the right.
Box statusText(const Picture& picture);
Box statusValues(const Picture& picture);
Picture::Pixel statusDot(const Picture& picture);

}  // namespace lumivane::host::dashboard
