#include "gpu/memory/MemoryTexture.h"

namespace lumivane::host {

MemoryTexture::MemoryTexture(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), stride_(width * 4),
      pixels_(static_cast<std::size_t>(width) * height * 4, 0), data_(pixels_.data()) {}

MemoryTexture::MemoryTexture(std::uint8_t* borrowed, std::uint32_t width, std::uint32_t height, std::uint32_t stride)
    : width_(width), height_(height), stride_(stride), data_(borrowed) {}

}  // namespace lumivane::host
