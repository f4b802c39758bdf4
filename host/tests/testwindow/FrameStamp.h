#pragma once
// A monotonic-clock time in microseconds drawn as a row of black and white squares along
// the top of a picture, so that a receiver can tell how old a decoded picture is. Each
// bit fills one 16 x 16 square aligned to the encoder's macroblocks, which survives lossy
// H.264 intact; a check word rejects pictures damaged beyond reading.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>

namespace lumivane::testwindow {

constexpr std::uint32_t kStampValueBits = 48;
constexpr std::uint32_t kStampBits = kStampValueBits + 16;
constexpr std::uint32_t kStampBlock = 16;
constexpr std::uint32_t kStampWidth = kStampBits * kStampBlock;
constexpr std::uint64_t kStampMask = (std::uint64_t{1} << kStampValueBits) - 1;

// CLOCK_MONOTONIC (std::chrono::steady_clock on Linux) in microseconds.
inline std::uint64_t monotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000u + std::uint64_t(now.tv_nsec) / 1000u;
}

inline std::uint16_t stampCheck(std::uint64_t value) {
    return std::uint16_t(((value & kStampMask) * 0x9E3779B97F4A7C15ull) >> 48);
}

// Writes the stamp into the top kStampBlock rows of 0x00RRGGBB pixels; the picture must be
// at least kStampWidth wide.
inline void drawStamp(std::uint32_t* pixels, std::size_t stridePixels, std::uint64_t micros) {
    const std::uint64_t word = ((micros & kStampMask) << 16) | stampCheck(micros);
    for (std::uint32_t y = 0; y < kStampBlock; ++y) {
        std::uint32_t* row = pixels + y * stridePixels;
        for (std::uint32_t bit = 0; bit < kStampBits; ++bit) {
            const std::uint32_t colour = (word >> (kStampBits - 1 - bit)) & 1 ? 0xFFFFFFu : 0u;
            for (std::uint32_t x = 0; x < kStampBlock; ++x) row[bit * kStampBlock + x] = colour;
        }
    }
}

// The stamp from an 8-bit luma plane, judging each square by its centre; empty when the
// picture is too small or the check word does not match.
inline std::optional<std::uint64_t> readStamp(const std::uint8_t* luma, std::size_t stride, int width, int height) {
    if (!luma || width < int(kStampWidth) || height < int(kStampBlock)) return std::nullopt;
    std::uint64_t word = 0;
    for (std::uint32_t bit = 0; bit < kStampBits; ++bit) {
        unsigned sum = 0;
        for (std::uint32_t y = 4; y < 12; ++y)
            for (std::uint32_t x = 4; x < 12; ++x) sum += luma[y * stride + bit * kStampBlock + x];
        word = (word << 1) | (sum / 64 >= 128 ? 1u : 0u);
    }
    const std::uint64_t value = word >> 16;
    if (std::uint16_t(word & 0xFFFF) != stampCheck(value)) return std::nullopt;
    return value;
}

// Microseconds from a stamp to now, across the 48-bit wrap.
inline std::uint64_t stampAgeMicros(std::uint64_t stamp, std::uint64_t nowMicros) {
    return (nowMicros - stamp) & kStampMask;
}

}  // namespace lumivane::testwindow
