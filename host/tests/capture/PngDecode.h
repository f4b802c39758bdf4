#pragma once
// Decodes a PNG to BGRA for checks, with stb_image: a decoder of its own, apart from the
// encoder under test on either platform.

#include <stb_image.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace lumivane::host {

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bgra;
};

inline std::optional<DecodedPng> decodePng(const std::vector<std::uint8_t>& png) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height, &channels, 4);
    if (!rgba) return std::nullopt;
    DecodedPng out{std::uint32_t(width), std::uint32_t(height), std::vector<std::uint8_t>(rgba, rgba + std::size_t(width) * height * 4)};
    stbi_image_free(rgba);
    for (std::size_t i = 0; i + 3 < out.bgra.size(); i += 4) std::swap(out.bgra[i], out.bgra[i + 2]);
    return out;
}

}  // namespace lumivane::host
