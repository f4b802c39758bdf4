#include "gpu/memory/MemoryGpuDevice.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

std::uint32_t pixel(const Texture& t, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* p = t.mappedPixels() + y * t.stride() + x * 4;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

TEST(MemoryGpuDevice, ClearsAndCopiesClippedRegions) {
    MemoryGpuDevice device;
    auto src = device.createTexture(10, 6, TextureFormat::BGRA8);
    auto dst = device.createTexture(16, 16, TextureFormat::BGRA8);
    ASSERT_TRUE(src && dst);
    device.clear(*src, 0xFF112233);
    device.clear(*dst, 0xFF000000);
    // Wider than both textures: clipped, no write past the edges.
    device.copyRegion(*dst, 12, 0, *src, 0, 0, 100, 100);
    EXPECT_EQ(pixel(*dst, 11, 0), 0xFF000000u);
    EXPECT_EQ(pixel(*dst, 12, 0), 0xFF112233u);
    EXPECT_EQ(pixel(*dst, 15, 5), 0xFF112233u);
    EXPECT_EQ(pixel(*dst, 15, 6), 0xFF000000u);
}

TEST(MemoryGpuDevice, RefusesEmptyTextures) {
    MemoryGpuDevice device;
    EXPECT_EQ(device.createTexture(0, 4, TextureFormat::BGRA8), nullptr);
}

}  // namespace
}  // namespace lumivane::host
