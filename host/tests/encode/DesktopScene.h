#pragma once
// Deterministic desktop-like BGRA frames: a menu bar, a window of text, a region that
// scrolls a few pixels per frame and a photo-like area of smooth colour with fine texture.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace lumivane::host::testing {

class DesktopScene {
public:
    DesktopScene(std::uint32_t width, std::uint32_t height) : width_(width), height_(height) {}

    // Renders frame n into pixels (stride bytes a row).
    void render(std::uint32_t n, std::uint8_t* pixels, std::uint32_t stride) const {
        for (std::uint32_t y = 0; y < height_; ++y) {
            std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
            for (std::uint32_t x = 0; x < width_; ++x) put(row + x * 4, pixel(n, x, y));
        }
    }

private:
    static void put(std::uint8_t* p, std::uint32_t argb) {
        p[0] = argb & 0xFF;
        p[1] = (argb >> 8) & 0xFF;
        p[2] = (argb >> 16) & 0xFF;
        p[3] = 0xFF;
    }

    static std::uint32_t hash(std::uint32_t v) {
        v ^= v >> 16;
        v *= 0x7feb352dU;
        v ^= v >> 15;
        v *= 0x846ca68bU;
        v ^= v >> 16;
        return v;
    }

    // Glyph-like strokes: 8x14 cells, each a pseudo-random 5x9 bit pattern.
    static bool ink(std::uint32_t x, std::uint32_t y) {
        std::uint32_t cx = x / 8, cy = y / 14, gx = x % 8, gy = y % 14;
        if (gx >= 5 || gy < 2 || gy >= 11) return false;
        std::uint32_t line = hash(cy * 2654435761U);
        if (line % 5 == 0 || cx % 90 > 20 + line % 60) return false;  // paragraph breaks, ragged right
        std::uint32_t glyph = hash(cx * 7919 + cy * 104729);
        if ((glyph & 7) == 0) return false;  // word gaps
        return (hash(glyph + gx * 31 + gy * 17) & 3) == 0 || gx == 0;
    }

    std::uint32_t pixel(std::uint32_t n, std::uint32_t x, std::uint32_t y) const {
        if (y < height_ / 30) return 0xFF2B2D30;  // menu bar
        bool left = x < width_ / 2;
        bool top = y < height_ / 2;
        if (left) return ink(x, y) ? 0xFF101010 : 0xFFF4F4F4;  // static text
        if (top) return ink(x, y + n * 3) ? 0xFF202080 : 0xFFFFFFFF;  // scrolling text
        return photo(n, x - width_ / 2, y - height_ / 2);
    }

    static std::uint32_t photo(std::uint32_t n, std::uint32_t x, std::uint32_t y) {
        double fx = (x + n) / 97.0, fy = y / 71.0;
        auto channel = [&](double phase) {
            double v = 128 + 70 * std::sin(fx + phase) * std::cos(fy - phase) + (hash(x * 3 + y * 5) & 7);
            return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0));
        };
        return 0xFF000000 | channel(0.0) << 16 | channel(1.3) << 8 | channel(2.6);
    }

    std::uint32_t width_;
    std::uint32_t height_;
};

}  // namespace lumivane::host::testing
