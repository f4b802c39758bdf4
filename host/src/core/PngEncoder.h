#pragma once

#include <cstdint>
#include <vector>

namespace lumivane::host {

// 8-bit RGBA PNG of a top-down BGRA image with width * 4 byte rows.
// Empty on failure (bad size, short buffer, encoder error); logs nothing.
std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height,
                                    const std::vector<std::uint8_t>& bgra);

}  // namespace lumivane::host
