#include "testwindow/FrameStamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lumivane::testwindow {
namespace {

constexpr int kWidth = 1280, kHeight = 32;

// The stamp drawn, then seen as a decoder's limited-range luma with coding noise.
std::vector<std::uint8_t> drawnLuma(std::uint64_t micros, int noise) {
    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight, 0x00406080u);
    drawStamp(pixels.data(), kWidth, micros);
    std::vector<std::uint8_t> luma(pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const int y = (pixels[i] & 0xFF) ? 235 : 16;
        const int jitter = int(i % 7) * 2 * noise / 6 - noise;
        luma[i] = std::uint8_t(std::clamp(y + jitter, 0, 255));
    }
    return luma;
}

TEST(FrameStampTest, ReadsBackThroughNoiseAndRefusesDamage) {
    const std::uint64_t micros = 0x123456789ABCull;
    auto luma = drawnLuma(micros, 40);
    EXPECT_EQ(readStamp(luma.data(), kWidth, kWidth, kHeight), micros);
    EXPECT_EQ(readStamp(luma.data(), kWidth, int(kStampWidth) - 1, kHeight), std::nullopt) << "too narrow";

    // One square flipped: the check word no longer matches.
    for (int y = 0; y < 16; ++y)
        for (int x = 5 * 16; x < 6 * 16; ++x) luma[std::size_t(y) * kWidth + x] ^= 0xFF;
    EXPECT_EQ(readStamp(luma.data(), kWidth, kWidth, kHeight), std::nullopt);

    EXPECT_EQ(stampAgeMicros(kStampMask - 5, 10), 16u) << "across the wrap";
}

}  // namespace
}  // namespace lumivane::testwindow
