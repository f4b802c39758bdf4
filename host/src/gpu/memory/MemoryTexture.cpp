#include "gpu/memory/MemoryTexture.h"

namespace lumivane::host {

MemoryTexture::MemoryTexture(std::uint32_t width, std::uint32_t height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4, 0) {}

}  // namespace lumivane::host
