#pragma once
// Decodes a PNG to BGRA for checks.

#include <png.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace lumivane::host {

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bgra;
};

inline std::optional<DecodedPng> decodePng(const std::vector<std::uint8_t>& png) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return std::nullopt;
    image.format = PNG_FORMAT_BGRA;
    DecodedPng out{image.width, image.height, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, out.bgra.data(), 0, nullptr)) return std::nullopt;
    return out;
}

}  // namespace lumivane::host
