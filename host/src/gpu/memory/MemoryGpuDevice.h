#pragma once

#include "gpu/GpuDevice.h"

namespace lumivane::host {

// Frames in system memory, for platforms that capture and encode on the CPU.
// Works on any Texture that exposes mappedPixels().
class MemoryGpuDevice final : public GpuDevice {
public:
    std::unique_ptr<Texture> createTexture(std::uint32_t width, std::uint32_t height,
                                           TextureFormat format) override;
    void copyRegion(Texture& dst, std::uint32_t dstX, std::uint32_t dstY, const Texture& src,
                    std::uint32_t srcX, std::uint32_t srcY, std::uint32_t width,
                    std::uint32_t height) override;
    void clear(Texture& texture, std::uint32_t argb) override;
    AdapterInfo adapterInfo() const override;
    // Reads the texture's own pixels, without a copy.
    std::unique_ptr<TextureReader> createReader(std::uint32_t width, std::uint32_t height) override;
};

}  // namespace lumivane::host
