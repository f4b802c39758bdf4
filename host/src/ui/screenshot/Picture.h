#pragma once
// A picture of a window read back as BGRA, top-down: the dashboard as rendered by the
// harness, or as grabbed from a running host's window.

#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::host {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;  // top-down, width * 4 bytes a row

    struct Pixel {
        std::uint8_t r, g, b;
    };
    Pixel at(int x, int y) const;
    bool empty() const { return bgra.empty(); }
    // As PNG; false if it could not be written.
    bool writePng(const std::string& path) const;
};

}  // namespace lumivane::host
