#include "core/PngEncoder.h"

#include <png.h>

#include <cstring>

namespace lumivane::host {

std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height,
                                    const std::vector<std::uint8_t>& bgra) {
    if (width == 0 || height == 0 || bgra.size() != std::size_t(width) * height * 4) return {};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, bgra.data(), 0, nullptr)) return {};
    std::vector<std::uint8_t> png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, bgra.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    png.resize(size);
    return png;
}

}  // namespace lumivane::host
