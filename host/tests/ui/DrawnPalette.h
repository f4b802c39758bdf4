#pragma once
// The dashboard's palette as drawn, in bytes: what tests read back from its pictures.
// Written out rather than taken from the theme, so a wrong theme colour shows.

#include <cstdlib>

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

template <typename Pixel>
bool near(Pixel p, Rgb c, int tolerance = 2) {
    return std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance && std::abs(p.b - c.b) <= tolerance;
}

}  // namespace lumivane::host::dashboard
