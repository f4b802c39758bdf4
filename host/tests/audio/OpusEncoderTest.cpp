#include "audio/OpusEncoder.h"

#include "fakes/LogCapture.h"

#include <gtest/gtest.h>
#include <opus.h>

#include <cmath>
#include <numbers>

namespace lumivane::host {
namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kFrame = 480;
constexpr double kAmplitude = 0.5 * 32767;

std::vector<std::int16_t> sine(double hz, int frames) {
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(frames) * kChannels);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(2 * std::numbers::pi * hz * i / kRate)));
        for (int c = 0; c < kChannels; ++c) pcm[static_cast<std::size_t>(i) * kChannels + c] = v;
    }
    return pcm;
}

// Power of one channel at hz (Goertzel).
double powerAt(const std::vector<float>& x, double hz) {
    const double k = 2 * std::cos(2 * std::numbers::pi * hz / kRate);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s = v + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

std::vector<std::int16_t> roundTrip(OpusAudioEncoder& encoder, const std::vector<std::int16_t>& pcm) {
    int error = 0;
    OpusDecoder* decoder = opus_decoder_create(kRate, kChannels, &error);
    EXPECT_EQ(error, OPUS_OK);
    std::vector<std::int16_t> out(pcm.size());
    for (std::size_t offset = 0; offset < pcm.size(); offset += kFrame * kChannels) {
        const std::vector<std::uint8_t> packet = encoder.encode(pcm.data() + offset, kFrame);
        EXPECT_FALSE(packet.empty());
        EXPECT_EQ(opus_decode(decoder, packet.data(), static_cast<opus_int32>(packet.size()), out.data() + offset,
                              kFrame, 0),
                  kFrame);
    }
    opus_decoder_destroy(decoder);
    return out;
}

TEST(OpusAudioEncoder, SineSurvivesTheRoundTrip) {
    LogCapture log;
    OpusAudioEncoder encoder;
    ASSERT_TRUE(encoder.initialize(OpusConfig{}));
    EXPECT_TRUE(log.contains("Opus encoder initialized: 48000 Hz, 2 ch, 128 kbps")) << log.text();

    const std::vector<std::int16_t> decoded = roundTrip(encoder, sine(1000, kRate));
    for (int c = 0; c < kChannels; ++c) {
        SCOPED_TRACE(c);
        std::vector<float> channel;  // skip the first 100 ms: codec delay and start-up
        for (std::size_t i = kRate / 10; i < kRate; ++i) channel.push_back(decoded[i * kChannels + c]);

        double bestHz = 0, bestPower = -1;
        for (double hz = 50; hz <= 12000; hz += 50) {
            if (double p = powerAt(channel, hz); p > bestPower) bestPower = p, bestHz = hz;
        }
        EXPECT_EQ(bestHz, 1000);

        double sum = 0;
        for (float v : channel) sum += double(v) * v;
        const double rmsDb = 20 * std::log10(std::sqrt(sum / channel.size()) / (kAmplitude / std::sqrt(2.0)));
        EXPECT_NEAR(rmsDb, 0.0, 1.0);
    }
}

TEST(OpusAudioEncoder, RejectedFramesYieldEmptyPackets) {
    LogCapture log;
    OpusAudioEncoder encoder;
    const std::vector<std::int16_t> pcm = sine(440, 960);
    EXPECT_TRUE(encoder.encode(pcm.data(), kFrame).empty());  // before initialize
    EXPECT_TRUE(log.text().empty()) << log.text();

    ASSERT_TRUE(encoder.initialize(OpusConfig{}));
    log.clear();
    EXPECT_TRUE(encoder.encode(pcm.data(), 500).empty());
    EXPECT_TRUE(log.contains(std::string("Opus encode error: ") + opus_strerror(OPUS_BAD_ARG))) << log.text();
    // Low-delay mode fixes 10 ms frames; libopus would encode half of a 20 ms one.
    EXPECT_TRUE(encoder.encode(pcm.data(), 960).empty());
    EXPECT_TRUE(encoder.encode(nullptr, kFrame).empty());
    EXPECT_EQ(log.lines().size(), 3u) << log.text();
    EXPECT_FALSE(encoder.encode(pcm.data(), kFrame).empty());
}

TEST(OpusAudioEncoder, WithoutLowDelayFrameDurationIsFree) {
    OpusConfig config;
    config.lowDelay = false;
    OpusAudioEncoder encoder;
    ASSERT_TRUE(encoder.initialize(config));
    const std::vector<std::int16_t> pcm = sine(440, 960);
    EXPECT_FALSE(encoder.encode(pcm.data(), 960).empty());
    EXPECT_FALSE(encoder.encode(pcm.data(), kFrame).empty());
    EXPECT_TRUE(encoder.encode(pcm.data(), 500).empty());  // libopus itself refuses this one
}

TEST(OpusAudioEncoder, SecondInitializeKeepsTheFirstAndBadConfigFails) {
    LogCapture log;
    OpusAudioEncoder encoder;
    ASSERT_TRUE(encoder.initialize(OpusConfig{}));
    OpusConfig other;
    other.bitrate = 64000;
    EXPECT_TRUE(encoder.initialize(other));
    EXPECT_EQ(encoder.config().bitrate, 128000u);
    EXPECT_TRUE(log.contains("Opus encoder already initialized"));

    OpusConfig bad;
    bad.channels = 3;
    OpusAudioEncoder broken;
    EXPECT_FALSE(broken.initialize(bad));
    EXPECT_TRUE(log.contains(std::string("Failed to create Opus encoder: ") + opus_strerror(OPUS_BAD_ARG)));
    const std::vector<std::int16_t> pcm = sine(440, kFrame);
    EXPECT_TRUE(broken.encode(pcm.data(), kFrame).empty());

    encoder.shutdown();
    EXPECT_TRUE(encoder.encode(pcm.data(), kFrame).empty());
    EXPECT_TRUE(encoder.initialize(other));  // usable again after shutdown
    EXPECT_EQ(encoder.config().bitrate, 64000u);
}

}  // namespace
}  // namespace lumivane::host
