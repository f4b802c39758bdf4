#pragma once
// A frame image on a GpuDevice. Always BGRA, 8 bits a channel.

#include <cstdint>

namespace lumivane::host {

enum class TextureFormat : std::uint32_t { BGRA8 = 0 };

class Texture {
public:
    virtual ~Texture() = default;
    virtual std::uint32_t width() const = 0;
    virtual std::uint32_t height() const = 0;
    virtual TextureFormat format() const { return TextureFormat::BGRA8; }

    // CPU-visible pixels, or null for textures that live in GPU memory. Rows are
    // stride() bytes apart; valid for the texture's lifetime.
    virtual std::uint8_t* mappedPixels() { return nullptr; }
    virtual const std::uint8_t* mappedPixels() const { return nullptr; }
    virtual std::uint32_t stride() const { return 0; }
};

}  // namespace lumivane::host
