#include "DashboardPicture.h"

namespace lumivane::host::dashboard {
namespace {

// Below the logo and the brand word.
constexpr int kNavigationTop = 140;
constexpr int kButtonHeight = 48;

bool differs(Picture::Pixel p, Rgb c) { return !near(p, c, 6); }
bool selectedFace(Picture::Pixel p) { return near(p, primary) || near(p, primaryLight); }

}  // namespace

std::vector<Span> navigationButtons(const Picture& picture) {
    // Each button shows as one band: its label, or its whole face when selected or
    // hovered. The thin gradient bars between the groups are dropped.
    const Box area{20, kNavigationTop, kSidebarWidth - 20, picture.height - kStatusBarHeight};
    std::vector<Span> buttons;
    for (const Span& band : rowBands(picture, area, [](auto p) { return differs(p, sidebar); }))
        if (band.length() >= 8 && band.length() <= kButtonHeight) buttons.push_back(band);
    return buttons;
}

int selectedPage(const Picture& picture, bool hovered) {
    const std::vector<Span> buttons = navigationButtons(picture);
    for (std::size_t page = 0; page < buttons.size(); ++page) {
        const Picture::Pixel face = picture.at(kSidebarWidth - 20, buttons[page].middle());
        if (near(face, primary) || (hovered && near(face, primaryLight))) return int(page);
    }
    return -1;
}

std::optional<Box> windowList(const Picture& picture) {
    // The only card taller than 300 px: the cards above it are 200 px high. Read just
    // inside its left border, left of the rows (a streaming row has another colour).
    const int x = kSidebarWidth + 30 + 4;
    const auto bands = rowBands(picture, {x, 0, x + 1, picture.height - kStatusBarHeight},
                                [](auto p) { return near(p, card); });
    for (const Span& band : bands) {
        if (band.length() < 300) continue;
        // Its width along a line above the first row.
        const int y = band.begin + 3;
        int right = x;
        while (right + 1 < picture.width && near(picture.at(right + 1, y), card)) ++right;
        return Box{x - 4, band.begin + 4, right - 4, band.end - 4};
    }
    return std::nullopt;
}

std::vector<Span> windowRows(const Picture& picture, Box list) {
    return rowBands(picture, {list.x0 + 20, list.y0, std::min(list.x0 + 400, list.x1), list.y1}, isBright);
}

Box rowStatus(Box list, Span title) { return {list.x1 - 140, title.begin - 10, list.x1, title.begin + 46}; }

Point rowFace(Box list, Span title) { return {list.x0 + 14, title.begin + 20}; }

ButtonRow frameRateButtons(const Picture& picture) {
    // The selected button is the content's topmost face in the primary colour (check marks
    // further down are drawn in the light one); the row is read a few pixels below its top
    // edge, above the label.
    const Box content{kSidebarWidth, 0, picture.width, picture.height - kStatusBarHeight};
    const auto faces = rowBands(picture, content, selectedFace);
    ButtonRow row;
    if (faces.empty()) return row;
    row.y = faces.front().begin + 6;
    int x = kSidebarWidth;
    while (x < picture.width) {
        const Picture::Pixel p = picture.at(x, row.y);
        const bool selected = selectedFace(p);
        if (!selected && !near(p, card)) {
            ++x;
            continue;
        }
        const Rgb face{p.r, p.g, p.b};
        int end = x;
        while (end < picture.width && near(picture.at(end, row.y), face)) ++end;
        if (end - x >= 60) {
            if (selected) row.selected = int(row.buttons.size());
            row.buttons.push_back({x, end});
        }
        x = end;
    }
    return row;
}

Box statusText(const Picture& picture) {
    return {45, picture.height - kStatusBarHeight, 400, picture.height};
}

Box statusValues(const Picture& picture) {
    return {picture.width - 400, picture.height - kStatusBarHeight, picture.width - 20, picture.height};
}

Picture::Pixel statusDot(const Picture& picture) {
    return picture.at(31, picture.height - kStatusBarHeight + 26);
}

}  // namespace lumivane::host::dashboard
