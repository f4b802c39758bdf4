#pragma once
// Reading pictures of the dashboard: its palette as drawn, in bytes (written out rather
// than taken from the theme, so a wrong theme colour shows), colour tests, and counting
// and banding the pixels of a region.

#include "ui/screenshot/Picture.h"

#include <cstdlib>
#include <vector>

namespace lumivane::host::dashboard {

struct Rgb {
    int r, g, b;
};

constexpr Rgb sidebar{13, 13, 20};
constexpr Rgb background{15, 15, 26};
constexpr Rgb card{26, 26, 41};
constexpr Rgb item{38, 38, 56};
constexpr Rgb hover{31, 31, 51};
constexpr Rgb primary{115, 89, 230};
constexpr Rgb primaryLight{140, 102, 250};  // a selected button under the pointer
constexpr Rgb connectedDot{77, 217, 140};
constexpr Rgb waitingDot{115, 115, 140};

inline bool near(Picture::Pixel p, Rgb c, int tolerance = 2) {
    return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}
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
    bool operator==(const Span&) const = default;
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

}  // namespace lumivane::host::dashboard
