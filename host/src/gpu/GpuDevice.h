#pragma once
// The device on which frames are captured, padded and encoded.
// Linux: system memory (MemoryGpuDevice); Windows: Direct3D 11.

#include "gpu/Texture.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lumivane::host {

struct AdapterInfo {
    std::string name;  // UTF-8 description
    std::uint32_t vendorId = 0;  // PCI vendor id, 0 when there is none
    std::uint64_t dedicatedVideoMemory = 0;  // bytes
};

// Lets the CPU read frames of a GpuDevice. Made once per consumer (it may hold a staging
// texture), used on one thread at a time.
class TextureReader {
public:
    using Use = std::function<void(const std::uint8_t* pixels, std::uint32_t stride)>;
    virtual ~TextureReader() = default;
    // Calls use with the BGRA pixels of the width x height region at the texture's top-left
    // (clipped to the reader's size); they are valid only during the call. False (after its
    // log line) when the texture cannot be read.
    virtual bool read(const Texture& texture, std::uint32_t width, std::uint32_t height, const Use& use) = 0;
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
    // A reader for regions up to width x height; null (after its log line) on failure.
    virtual std::unique_ptr<TextureReader> createReader(std::uint32_t width, std::uint32_t height) = 0;

    // The platform's real device: null (after its log line) when none can be created.
    static std::unique_ptr<GpuDevice> create();
};

}  // namespace lumivane::host
