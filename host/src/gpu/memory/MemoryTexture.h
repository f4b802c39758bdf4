#pragma once

#include "gpu/Texture.h"

#include <vector>

namespace lumivane::host {

// A BGRA image in system memory; stride is width * 4.
class MemoryTexture final : public Texture {
public:
    MemoryTexture(std::uint32_t width, std::uint32_t height);

    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::uint8_t* mappedPixels() override { return pixels_.data(); }
    const std::uint8_t* mappedPixels() const override { return pixels_.data(); }
    std::uint32_t stride() const override { return width_ * 4; }

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace lumivane::host
