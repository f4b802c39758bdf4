#include "capture/win32/WinRtCapture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace lumivane::host::winrt {
namespace {

std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::array<std::uint8_t, 20> sha1(std::vector<std::uint8_t> data) {
    const std::uint64_t bits = std::uint64_t(data.size()) * 8;
    data.push_back(0x80);
    while (data.size() % 64 != 56) data.push_back(0);
    for (int i = 7; i >= 0; --i) data.push_back(std::uint8_t(bits >> (i * 8)));
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    for (std::size_t block = 0; block < data.size(); block += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t* p = &data[block + std::size_t(i) * 4];
            w[i] = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
        }
        for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            const std::uint32_t f = i < 20 ? (b & c) | (~b & d) : i < 40 ? b ^ c ^ d : i < 60 ? (b & c) | (b & d) | (c & d) : b ^ c ^ d;
            const std::uint32_t k = i < 20 ? 0x5A827999 : i < 40 ? 0x6ED9EBA1 : i < 60 ? 0x8F1BBCDC : 0xCA62C1D6;
            const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rotl(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<std::uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i) out[std::size_t(i)] = std::uint8_t(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

std::string text(const GUID& id) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", (unsigned long)id.Data1,
                  id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5],
                  id.Data4[6], id.Data4[7]);
    return buffer;
}

// The WinRT rule for a parameterised type's id: a name-based (SHA-1, version 5) UUID of its
// signature in the WinRT namespace 11f47ad5-7b73-42c0-abae-878b1e16adee.
std::string parameterisedId(const std::string& signature) {
    std::vector<std::uint8_t> data = {0x11, 0xf4, 0x7a, 0xd5, 0x7b, 0x73, 0x42, 0xc0,
                                      0xab, 0xae, 0x87, 0x8b, 0x1e, 0x16, 0xad, 0xee};
    data.insert(data.end(), signature.begin(), signature.end());
    std::array<std::uint8_t, 20> hash = sha1(std::move(data));
    hash[6] = std::uint8_t((hash[6] & 0x0F) | 0x50);
    hash[8] = std::uint8_t((hash[8] & 0x3F) | 0x80);
    GUID id{};
    id.Data1 = std::uint32_t(hash[0]) << 24 | std::uint32_t(hash[1]) << 16 | std::uint32_t(hash[2]) << 8 | hash[3];
    id.Data2 = std::uint16_t(hash[4] << 8 | hash[5]);
    id.Data3 = std::uint16_t(hash[6] << 8 | hash[7]);
    std::memcpy(id.Data4, &hash[8], 8);
    return text(id);
}

// TypedEventHandler<Sender, Object> with a runtime class as sender: the class is named with
// its default interface's id.
std::string typedEventHandlerOf(const std::string& runtimeClass, const GUID& defaultInterface) {
    return "pinterface({9de1c534-6ae1-11e0-84e1-18a905bcc53f};rc(" + runtimeClass + ";{" + text(defaultInterface) +
           "});cinterface(IInspectable))";
}

TEST(WinRtCaptureTest, HandlerIdsFollowFromTheirTypeSignatures) {
    EXPECT_EQ(sha1({'a', 'b', 'c'})[0], 0xa9);  // FIPS 180 example: a9993e36...
    EXPECT_EQ(text(__uuidof(IFrameArrivedHandler)),
              parameterisedId(typedEventHandlerOf("Windows.Graphics.Capture.Direct3D11CaptureFramePool",
                                                  __uuidof(IDirect3D11CaptureFramePool))));
    EXPECT_EQ(text(__uuidof(IItemClosedHandler)),
              parameterisedId(typedEventHandlerOf("Windows.Graphics.Capture.GraphicsCaptureItem",
                                                  __uuidof(IGraphicsCaptureItem))));
}

// A wrong id would only show on a real Windows, as E_NOINTERFACE.
TEST(WinRtCaptureTest, InterfaceIdsAreThePublishedOnes) {
    EXPECT_EQ(text(__uuidof(IGraphicsCaptureItemInterop)), "3628e81b-3cac-4c60-b7f4-23ce0e0c3356");
    EXPECT_EQ(text(__uuidof(IGraphicsCaptureItem)), "79c3f95b-31f7-4ec2-a464-632ef5d30760");
    EXPECT_EQ(text(__uuidof(IDirect3D11CaptureFramePoolStatics2)), "589b103f-6bbc-5df5-a991-02e28b3b66d5");
    EXPECT_EQ(text(__uuidof(IDirect3D11CaptureFramePool)), "24eb6d22-1975-422e-82e7-780dbd8ddf24");
    EXPECT_EQ(text(__uuidof(IDirect3D11CaptureFrame)), "fa50c623-38da-4b32-acf3-fa9734ad800e");
    EXPECT_EQ(text(__uuidof(IGraphicsCaptureSession)), "814e42a9-f70f-4ad7-939b-fddcc6eb880d");
    EXPECT_EQ(text(__uuidof(IGraphicsCaptureSession2)), "2c39ae40-7d2e-5044-804e-8b6799d4cf9e");
    EXPECT_EQ(text(__uuidof(IGraphicsCaptureSession3)), "f2cdd966-22ae-5ea1-9596-3a289344c3be");
    EXPECT_EQ(text(__uuidof(IGraphicsCaptureSessionStatics)), "2224a540-5974-49aa-b232-0882536f4cb5");
    EXPECT_EQ(text(__uuidof(IDirect3DDevice)), "a37624ab-8d5f-4650-9d3e-9eae3d9bc670");
    EXPECT_EQ(text(__uuidof(IDirect3DSurface)), "0bf4a146-13c1-4694-bee3-7abf15eaf586");
    EXPECT_EQ(text(__uuidof(IDirect3DDxgiInterfaceAccess)), "a9b3d012-3df2-4ee3-b8d1-8695f457d3c1");
    EXPECT_EQ(text(__uuidof(IClosable)), "30d5a829-7fa4-4026-83bb-d75bae4ea99e");
    EXPECT_EQ(text(__uuidof(IAgileObject)), "94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90");
    static_assert(sizeof(SizeInt32) == 8 && sizeof(TimeSpan) == 8 && sizeof(DirectXPixelFormat) == 4);
    static_assert(int(DirectXPixelFormat::B8G8R8A8UIntNormalized) == 87);
}

}  // namespace
}  // namespace lumivane::host::winrt
