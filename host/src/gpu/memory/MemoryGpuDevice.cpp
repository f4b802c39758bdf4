#include "gpu/memory/MemoryGpuDevice.h"

#include "gpu/memory/MemoryTexture.h"
#include "core/Logging.h"

#include <algorithm>
#include <cstring>

namespace lumivane::host {

std::unique_ptr<Texture> MemoryGpuDevice::createTexture(std::uint32_t width, std::uint32_t height,
                                                        TextureFormat format) {
    if (width == 0 || height == 0 || format != TextureFormat::BGRA8) {
        LV_ERROR("Cannot create texture {}x{}", width, height);
        return nullptr;
    }
    return std::make_unique<MemoryTexture>(width, height);
}

void MemoryGpuDevice::copyRegion(Texture& dst, std::uint32_t dstX, std::uint32_t dstY, const Texture& src,
                                 std::uint32_t srcX, std::uint32_t srcY, std::uint32_t width,
                                 std::uint32_t height) {
    std::uint8_t* out = dst.mappedPixels();
    const std::uint8_t* in = src.mappedPixels();
    if (!out || !in || srcX >= src.width() || srcY >= src.height() || dstX >= dst.width() ||
        dstY >= dst.height())
        return;
    width = std::min({width, src.width() - srcX, dst.width() - dstX});
    height = std::min({height, src.height() - srcY, dst.height() - dstY});
    for (std::uint32_t y = 0; y < height; ++y) {
        std::memcpy(out + static_cast<std::size_t>(dstY + y) * dst.stride() + dstX * 4u,
                    in + static_cast<std::size_t>(srcY + y) * src.stride() + srcX * 4u, width * 4u);
    }
}

void MemoryGpuDevice::clear(Texture& texture, std::uint32_t argb) {
    std::uint8_t* pixels = texture.mappedPixels();
    if (!pixels) return;
    const std::uint8_t bgra[4] = {static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 8),
                                  static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 24)};
    for (std::uint32_t y = 0; y < texture.height(); ++y) {
        std::uint8_t* row = pixels + static_cast<std::size_t>(y) * texture.stride();
        for (std::uint32_t x = 0; x < texture.width(); ++x) std::memcpy(row + x * 4u, bgra, 4);
    }
}

namespace {

class MemoryTextureReader final : public TextureReader {
public:
    bool read(const Texture& texture, std::uint32_t, std::uint32_t, const Use& use) override {
        const std::uint8_t* pixels = texture.mappedPixels();
        if (!pixels) {
            LV_ERROR("Texture {}x{} has no pixels in system memory", texture.width(), texture.height());
            return false;
        }
        use(pixels, texture.stride());
        return true;
    }
};

}  // namespace

std::unique_ptr<TextureReader> MemoryGpuDevice::createReader(std::uint32_t, std::uint32_t) {
    return std::make_unique<MemoryTextureReader>();
}

AdapterInfo MemoryGpuDevice::adapterInfo() const { return AdapterInfo{"System memory (CPU)", 0, 0}; }

}  // namespace lumivane::host
