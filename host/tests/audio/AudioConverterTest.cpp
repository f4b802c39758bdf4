#include "audio/AudioConverter.h"

#include "fakes/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace lumivane::host {
namespace {

template <typename T>
std::vector<uint8_t> bytesOf(const std::vector<T>& samples) {
    std::vector<uint8_t> bytes(samples.size() * sizeof(T));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// Feeds `bytes` in packets of uneven sizes and gathers what comes out.
std::vector<int16_t> convertInPieces(AudioConverter& converter, const std::vector<uint8_t>& bytes,
                                     uint32_t frameBytes, uint32_t outChannels) {
    const uint32_t pieces[] = {441, 100, 7, 1, 1, 1000, 13, 480};
    std::vector<int16_t> out;
    const uint32_t total = static_cast<uint32_t>(bytes.size() / frameBytes);
    for (uint32_t done = 0, i = 0; done < total; ++i) {
        const uint32_t frames = std::min(pieces[i % std::size(pieces)], total - done);
        uint32_t produced = 0;
        const int16_t* samples = converter.convert(bytes.data() + std::size_t{done} * frameBytes, frames, produced);
        out.insert(out.end(), samples, samples + std::size_t{produced} * outChannels);
        done += frames;
    }
    return out;
}

TEST(AudioConverterTest, Resamples44100To48000AcrossPacketsWithoutSteps) {
    constexpr int kRate = 44100;
    constexpr double kHz = 1000, kAmplitude = 0.5;
    std::vector<float> in;
    for (int i = 0; i < kRate; ++i) {
        const auto v = static_cast<float>(kAmplitude * std::sin(2 * std::numbers::pi * kHz * i / kRate));
        in.push_back(v);
        in.push_back(v);
    }
    auto converter = AudioConverter::create(AudioFormat{44100, 2, 32, SampleType::Float}, 48000, 2);
    ASSERT_TRUE(converter);
    const std::vector<int16_t> out = convertInPieces(*converter, bytesOf(in), 8, 2);

    const std::size_t frames = out.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames), 48000.0, 2.0);
    int crossings = 0, peak = 0;
    int largestStep = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        ASSERT_EQ(out[2 * f], out[2 * f + 1]) << f;
        peak = std::max(peak, std::abs(static_cast<int>(out[2 * f])));
        if (f > 0) {
            if (out[2 * (f - 1)] < 0 && out[2 * f] >= 0) ++crossings;
            largestStep = std::max(largestStep, std::abs(out[2 * f] - out[2 * (f - 1)]));
        }
    }
    EXPECT_NEAR(crossings, 1000, 2);  // the pitch is kept
    EXPECT_NEAR(peak, kAmplitude * 32767, 0.02 * 32767);
    // A sine's steepest step at 48 kHz; a lost or repeated frame at a packet's edge is larger.
    const double steepest = kAmplitude * 32767 * 2 * std::numbers::pi * kHz / 48000;
    EXPECT_LE(largestStep, steepest * 1.05);
}

TEST(AudioConverterTest, FiveOneMixesDownWithoutClippingAndDropsTheLfe) {
    // FL FR FC LFE BL BR, the usual 5.1 order when the endpoint names no layout.
    auto converter = AudioConverter::create(AudioFormat{48000, 6, 16, SampleType::Integer}, 48000, 2);
    ASSERT_TRUE(converter);
    const int16_t h = 16384;
    const std::vector<int16_t> in = {
        h, 0, 0, 0, 0, 0,  // front left
        0, 0, h, 0, 0, 0,  // centre
        0, 0, 0, h, 0, 0,  // LFE
        0, 0, 0, 0, 0, h,  // back right
        32767, 32767, 32767, 32767, 32767, 32767,
    };
    uint32_t frames = 0;
    const int16_t* out = converter->convert(bytesOf(in).data(), 5, frames);
    ASSERT_EQ(frames, 5u);
    const double scale = 1 / (1 + 2 * 0.7071);  // front + centre + back add up to one
    EXPECT_NEAR(out[0], h * scale, 2);
    EXPECT_EQ(out[1], 0);
    EXPECT_NEAR(out[2], h * 0.7071 * scale, 2);
    EXPECT_EQ(out[2], out[3]);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[5], 0);
    EXPECT_EQ(out[6], 0);
    EXPECT_NEAR(out[7], h * 0.7071 * scale, 2);
    EXPECT_NEAR(out[8], 32767, 3);
    EXPECT_NEAR(out[9], 32767, 3);
}

TEST(AudioConverterTest, FiveOneAt44100BecomesStereoAt48000) {
    // The endpoint's own mask: 5.1 with side speakers.
    AudioFormat from{44100, 6, 32, SampleType::Float, 0x60F};
    auto converter = AudioConverter::create(from, 48000, 2);
    ASSERT_TRUE(converter);
    std::vector<float> in(4410 * 6, 0.0f);
    for (std::size_t f = 0; f < 4410; ++f) in[f * 6 + 5] = 0.5f;  // side right only
    const std::vector<int16_t> out = convertInPieces(*converter, bytesOf(in), 24, 2);
    EXPECT_NEAR(static_cast<double>(out.size() / 2), 4800.0, 2.0);
    const double expected = 0.5 * 0.7071 / (1 + 2 * 0.7071) * 32767;
    for (std::size_t f = 0; f < out.size() / 2; ++f) {
        ASSERT_EQ(out[2 * f], 0) << f;
        ASSERT_NEAR(out[2 * f + 1], expected, 2) << f;
    }
}

TEST(AudioConverterTest, MonoGoesToBothSidesAndTargetFormatPassesThrough) {
    auto mono = AudioConverter::create(AudioFormat{48000, 1, 16, SampleType::Integer}, 48000, 2);
    ASSERT_TRUE(mono);
    const std::vector<int16_t> one = {-32768, 1234};
    uint32_t frames = 0;
    const int16_t* out = mono->convert(bytesOf(one).data(), 2, frames);
    ASSERT_EQ(frames, 2u);
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{-32767, -32767, 1233, 1233}));

    auto same = AudioConverter::create(AudioFormat{48000, 2, 16, SampleType::Integer}, 48000, 2);
    ASSERT_TRUE(same);
    const std::vector<int16_t> pcm = {-32768, 32767, -5, 7};
    out = same->convert(bytesOf(pcm).data(), 2, frames);
    ASSERT_EQ(frames, 2u);
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), pcm);
}

TEST(AudioConverterTest, WiderIntegersAndBrokenFloats) {
    auto pcm24 = AudioConverter::create(AudioFormat{48000, 2, 24, SampleType::Integer}, 48000, 2);
    ASSERT_TRUE(pcm24);
    const std::vector<uint8_t> in = {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0};  // +0.5, -0.5
    uint32_t frames = 0;
    const int16_t* out = pcm24->convert(in.data(), 1, frames);
    ASSERT_EQ(frames, 1u);
    EXPECT_EQ(out[0], 16383);
    EXPECT_EQ(out[1], -16383);

    auto floats = AudioConverter::create(AudioFormat{48000, 2, 32, SampleType::Float}, 48000, 2);
    ASSERT_TRUE(floats);
    const std::vector<float> broken = {std::nanf(""), INFINITY, 2.0f, -2.0f};
    out = floats->convert(bytesOf(broken).data(), 2, frames);
    ASSERT_EQ(frames, 2u);
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{0, 0, 32767, -32767}));
}

TEST(AudioConverterTest, UnconvertibleFormatsAreRefusedWithOneLine) {
    const AudioFormat refused[] = {
        {48000, 2, 8, SampleType::Integer},   {48000, 2, 64, SampleType::Float},
        {48000, 0, 16, SampleType::Integer},  {48000, 12, 32, SampleType::Float},
        {1000, 2, 16, SampleType::Integer},   {4000000, 2, 16, SampleType::Integer},
    };
    for (const AudioFormat& f : refused) {
        LogCapture log;
        EXPECT_FALSE(AudioConverter::create(f, 48000, 2)) << f.sampleRate << " " << f.channels << " " << f.bitsPerSample;
        ASSERT_EQ(log.lines().size(), 1u) << log.text();
        EXPECT_NE(log.text().find("Audio format not supported"), std::string::npos) << log.text();
    }
    LogCapture quiet;
    EXPECT_TRUE(AudioConverter::create(AudioFormat{48000, 12, 32, SampleType::Float, 0x3FFF}, 48000, 2));
    EXPECT_TRUE(quiet.lines().empty()) << quiet.text();
}

TEST(AudioConverterTest, ResetStartsAfreshWithoutTheLastPacket) {
    auto converter = AudioConverter::create(AudioFormat{24000, 1, 32, SampleType::Float}, 48000, 1);
    ASSERT_TRUE(converter);
    const std::vector<float> loud = {1.0f, 1.0f};
    const std::vector<float> quiet = {0.0f, 0.0f};
    uint32_t frames = 0;
    converter->convert(bytesOf(loud).data(), 2, frames);
    converter->reset();
    const int16_t* out = converter->convert(bytesOf(quiet).data(), 2, frames);
    ASSERT_GT(frames, 0u);
    for (uint32_t f = 0; f < frames; ++f) EXPECT_EQ(out[f], 0) << f;
}

}  // namespace
}  // namespace lumivane::host
