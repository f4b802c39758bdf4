#pragma once
// The image lumivane-testwindow paints, so tests can check captured pixels exactly.

#include <cstdint>

namespace lumivane::testwindow {

// 0x00RRGGBB of pixel (x, y) in frame number `frame`.
inline std::uint32_t patternPixel(std::uint32_t x, std::uint32_t y, std::uint32_t frame) {
    std::uint32_t r = (x * 3 + frame * 7) & 0xFF;
    std::uint32_t g = (y * 5) & 0xFF;
    std::uint32_t b = ((x ^ y) + frame) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

// Opaque ARGB of icon pixel (x, y) in an icon `side` pixels square.
inline std::uint32_t iconPixel(std::uint32_t x, std::uint32_t y, std::uint32_t side) {
    return 0xFF000000u | (((x * 255 / side) & 0xFF) << 16) | (((y * 255 / side) & 0xFF) << 8) | (side & 0xFF);
}

// Icon sizes set in _NET_WM_ICON; the largest up to 256 is the one listed.
constexpr std::uint32_t kIconSides[] = {16, 48, 300};
constexpr std::uint32_t kListedIconSide = 48;

}  // namespace lumivane::testwindow
