#pragma once
// The device on which frames are captured, padded and encoded.
// Linux: system memory (MemoryGpuDevice); Windows: Direct3D 11.

#include "gpu/Texture.h"

#include <cstdint>
#include <memory>
#include <string>

namespace lumivane::host {

struct AdapterInfo {
    std::string name;  // UTF-8 description
    std::uint32_t vendorId = 0;  // PCI vendor id, 0 when there is none
    std::uint64_t dedicatedVideoMemory = 0;  // bytes
};

class GpuDevice {
public:
    virtual ~GpuDevice() = default;

    // Null (and one log line) on failure.
    virtual std::unique_ptr<Texture> createTexture(std::uint32_t width, std::uint32_t height,
                                                   TextureFormat format = TextureFormat::BGRA8) = 0;
    // Copies the width x height region at (srcX, srcY) of src to (dstX, dstY) of dst;
    // the region is clipped to both textures.
    virtual void copyRegion(Texture& dst, std::uint32_t dstX, std::uint32_t dstY, const Texture& src,
                            std::uint32_t srcX, std::uint32_t srcY, std::uint32_t width,
                            std::uint32_t height) = 0;
    // Fills the whole texture with one BGRA colour (0xAARRGGBB).
    virtual void clear(Texture& texture, std::uint32_t argb) = 0;
    virtual AdapterInfo adapterInfo() const = 0;

    // The platform's real device: null (after its log line) when none can be created.
    static std::unique_ptr<GpuDevice> create();
};

}  // namespace lumivane::host
