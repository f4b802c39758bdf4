#include "gpu/d3d11/D3D11GpuDevice.h"
#include "gpu/d3d11/D3D11Native.h"
#include "gpu/memory/MemoryGpuDevice.h"
#include "gpu/memory/MemoryTexture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace lumivane::host {
namespace {

// The whole texture as 0xAARRGGBB values, read back through the device's own reader.
std::vector<std::uint32_t> readBack(GpuDevice& device, const Texture& texture) {
    std::vector<std::uint32_t> pixels(std::size_t(texture.width()) * texture.height());
    auto reader = device.createReader(texture.width(), texture.height());
    EXPECT_TRUE(reader);
    if (!reader) return pixels;
    EXPECT_TRUE(reader->read(texture, texture.width(), texture.height(), [&](const std::uint8_t* p, std::uint32_t stride) {
        for (std::uint32_t y = 0; y < texture.height(); ++y)
            std::memcpy(&pixels[std::size_t(y) * texture.width()], p + std::size_t(y) * stride, texture.width() * 4u);
    }));
    return pixels;
}

class D3D11GpuDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = D3D11GpuDevice::create();
        ASSERT_TRUE(device);
    }
    std::unique_ptr<D3D11GpuDevice> device;
};

TEST_F(D3D11GpuDeviceTest, NamesItsAdapterAndExposesNativeObjects) {
    const AdapterInfo adapter = device->adapterInfo();
    EXPECT_FALSE(adapter.name.empty());
    EXPECT_NE(adapter.vendorId, 0u);
    EXPECT_EQ(nativeDevice(device.get()), device->device());
    auto texture = device->createTexture(32, 16);
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->width(), 32u);
    EXPECT_EQ(texture->height(), 16u);
    EXPECT_NE(nativeTexture(*texture), nullptr);
    EXPECT_EQ(texture->mappedPixels(), nullptr);

    MemoryGpuDevice memory;
    MemoryTexture inMemory(4, 4);
    EXPECT_EQ(nativeDevice(&memory), nullptr);
    EXPECT_EQ(nativeTexture(inMemory), nullptr);
    EXPECT_EQ(device->createTexture(0, 16), nullptr);
}

TEST_F(D3D11GpuDeviceTest, ClearsCopiesClippedRegionsAndReadsBackExactPixels) {
    auto src = device->createTexture(10, 6);
    auto dst = device->createTexture(16, 16);
    ASSERT_TRUE(src && dst);
    device->clear(*src, 0xFF112233);
    device->clear(*dst, 0xFF000000);
    // Wider than both textures: clipped, nothing written past the edges.
    device->copyRegion(*dst, 12, 0, *src, 0, 0, 100, 100);
    const auto pixels = readBack(*device, *dst);
    EXPECT_EQ(pixels[11], 0xFF000000u);
    EXPECT_EQ(pixels[12], 0xFF112233u);
    EXPECT_EQ(pixels[5 * 16 + 15], 0xFF112233u);
    EXPECT_EQ(pixels[6 * 16 + 15], 0xFF000000u);
}

TEST_F(D3D11GpuDeviceTest, UploadsRegionsOfSystemMemoryTextures) {
    MemoryTexture frame(8, 4);
    for (std::uint32_t i = 0; i < 8 * 4; ++i) {
        const std::uint32_t argb = 0xFF000000u | (i * 0x010203u);
        std::memcpy(frame.mappedPixels() + i * 4, &argb, 4);
    }
    auto dst = device->createTexture(8, 4);
    ASSERT_TRUE(dst);
    device->clear(*dst, 0xFF000000);
    device->copyRegion(*dst, 1, 1, frame, 2, 1, 3, 2);
    const auto pixels = readBack(*device, *dst);
    EXPECT_EQ(pixels[0], 0xFF000000u);
    EXPECT_EQ(pixels[1 * 8 + 1], 0xFF000000u | (10 * 0x010203u));  // source (2, 1)
    EXPECT_EQ(pixels[2 * 8 + 3], 0xFF000000u | (20 * 0x010203u));  // source (4, 2)
    EXPECT_EQ(pixels[2 * 8 + 4], 0xFF000000u);
}

TEST_F(D3D11GpuDeviceTest, ReaderTakesTheTopLeftRegionOnly) {
    auto texture = device->createTexture(16, 8);
    ASSERT_TRUE(texture);
    device->clear(*texture, 0xFF336699);
    auto reader = device->createReader(4, 2);
    ASSERT_TRUE(reader);
    std::uint32_t first = 0;
    ASSERT_TRUE(reader->read(*texture, 100, 100, [&](const std::uint8_t* p, std::uint32_t stride) {
        EXPECT_GE(stride, 16u);
        std::memcpy(&first, p + stride + 12, 4);  // (3, 1), inside the reader's 4 x 2
    }));
    EXPECT_EQ(first, 0xFF336699u);
}

}  // namespace
}  // namespace lumivane::host
