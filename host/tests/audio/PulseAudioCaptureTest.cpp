// Against the PulseAudio server scripts/test starts, with the null sink lumivane_null as
// the default output: a tone played into it comes back through the loopback capture.

#include "audio/AudioCapture.h"
#include "audio/TonePlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivane::host {
namespace {

constexpr double kPi = 3.14159265358979323846;

double goertzelPower(const std::vector<int16_t>& mono, double freq) {
    const double w = 2 * kPi * freq / 48000.0;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int16_t x : mono) {
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

struct Collected {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<int16_t> left;  // loud samples only, so the leading silence is skipped
    uint32_t rate = 0, channels = 0;
    size_t packets = 0;
};

AudioDataCallback collectInto(Collected& c, size_t wanted) {
    return [&c, wanted](const int16_t* s, uint32_t frames, uint32_t rate, uint32_t channels) {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.rate = rate;
        c.channels = channels;
        ++c.packets;
        int peak = 0;
        for (uint32_t i = 0; i < frames; ++i) peak = std::max(peak, std::abs(int(s[i * channels])));
        if (peak < 2000 || c.left.size() >= wanted) return;
        for (uint32_t i = 0; i < frames; ++i) c.left.push_back(s[i * channels]);
        c.cv.notify_all();
    };
}

TEST(PulseAudioCaptureTest, CapturesToneFromTheDefaultSinkMonitor) {
    AudioCapture capture(AudioSource::create());
    ASSERT_TRUE(capture.initialize(AudioCaptureConfig{}));
    Collected c;
    const size_t wanted = 9600;  // 0.2 s: 5 Hz bins
    // Start twice, stop, start again: the tone must still come through.
    ASSERT_TRUE(capture.start(collectInto(c, wanted)));
    EXPECT_TRUE(capture.start(collectInto(c, 0)));
    capture.stop();
    capture.stop();
    ASSERT_TRUE(capture.start(collectInto(c, wanted)));
    TonePlayer tone;
    ASSERT_TRUE(tone.ok());
    {
        std::unique_lock<std::mutex> lock(c.mutex);
        ASSERT_TRUE(c.cv.wait_for(lock, std::chrono::seconds(20),
                                  [&] { return c.left.size() >= wanted; }));
    }
    capture.stop();
    EXPECT_EQ(c.rate, 48000u);
    EXPECT_EQ(c.channels, 2u);
    std::vector<int16_t> window(c.left.begin(), c.left.begin() + wanted);
    double bestPower = 0;
    int best = 0;
    for (int f = 100; f <= 4000; f += 5) {
        const double p = goertzelPower(window, f);
        if (p > bestPower) bestPower = p, best = f;
    }
    EXPECT_NEAR(best, 440, 5);
}

TEST(PulseAudioCaptureTest, MicrophonePathOpensTheDefaultSource) {
    AudioCapture capture(AudioSource::create());
    AudioCaptureConfig config;
    config.loopback = false;
    ASSERT_TRUE(capture.initialize(config));
    uint32_t rate = 0, channels = 0, bits = 0;
    capture.getFormat(rate, channels, bits);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(channels, 2u);
    EXPECT_EQ(bits, 16u);
}

}  // namespace
}  // namespace lumivane::host
