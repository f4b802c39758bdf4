#pragma once

#include "gpu/Texture.h"

#include <vector>

namespace lumivane::host {

// A BGRA image in system memory: its own (stride width * 4), or a view of memory that
// someone else owns and keeps alive for the texture's lifetime (a capture's shared image).
class MemoryTexture final : public Texture {
public:
    MemoryTexture(std::uint32_t width, std::uint32_t height);
    MemoryTexture(std::uint8_t* borrowed, std::uint32_t width, std::uint32_t height, std::uint32_t stride);
    // A move keeps the buffer, so data_ stays right; a copy would not.
    MemoryTexture(MemoryTexture&&) = default;
    MemoryTexture& operator=(MemoryTexture&&) = default;
    MemoryTexture(const MemoryTexture&) = delete;
    MemoryTexture& operator=(const MemoryTexture&) = delete;

    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::uint8_t* mappedPixels() override { return data_; }
    const std::uint8_t* mappedPixels() const override { return data_; }
    std::uint32_t stride() const override { return stride_; }

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::uint32_t stride_;
    std::vector<std::uint8_t> pixels_;
    std::uint8_t* data_;
};

}  // namespace lumivane::host
