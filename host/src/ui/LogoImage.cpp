#include "ui/LogoImage.h"

#include <stb_image.h>

namespace lumivane::host {

void LogoImage::Free::operator()(std::uint8_t* pixels) const { stbi_image_free(pixels); }

std::optional<LogoImage> LogoImage::load(const std::string& path) {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::uint8_t* pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (!pixels) return std::nullopt;
    LogoImage image;
    image.pixels_.reset(pixels);
    image.width_ = width;
    image.height_ = height;
    return image;
}

}  // namespace lumivane::host
