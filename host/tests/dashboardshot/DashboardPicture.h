#pragma once
// What a person reads off a picture of the dashboard: its colours and where its buttons,
// list rows and status texts are, found from the pixels alone.

#include "HostWindow.h"
#include "ui/DrawnPalette.h"

#include <cstdlib>
#include <optional>
#include <vector>

namespace lumivane::host::dashboard {

constexpr int kSidebarWidth = 260;
constexpr int kStatusBarHeight = 56;

inline bool isGreen(Picture::Pixel p) { return p.g > p.r + 60 && p.g > p.b + 30; }
inline bool isYellow(Picture::Pixel p) { return p.r > 150 && p.g > 110 && p.b + 60 < p.g; }
inline bool isBright(Picture::Pixel p) { return p.r > 180 && p.g > 180 && p.b > 180; }

struct Box {
    int x0, y0, x1, y1;  // half-open
};

// A run of rows [top, bottom) or columns [left, right).
struct Span {
    int begin, end;
    int middle() const { return (begin + end) / 2; }
    int length() const { return end - begin; }
};

template <typename Predicate>
int countPixels(const Picture& picture, Box box, Predicate predicate) {
    int count = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) count += predicate(picture.at(x, y)) ? 1 : 0;
    return count;
}

// Runs of rows holding at least one pixel that matches.
template <typename Predicate>
std::vector<Span> rowBands(const Picture& picture, Box box, Predicate predicate) {
    std::vector<Span> found;
    for (int y = box.y0; y < box.y1; ++y) {
        bool hit = false;
        for (int x = box.x0; x < box.x1 && !hit; ++x) hit = predicate(picture.at(x, y));
        if (!hit) continue;
        if (!found.empty() && found.back().end == y) found.back().end = y + 1;
        else found.push_back({y, y + 1});
    }
    return found;
}

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
