#include "audio/AudioCapture.h"

#include "fakes/FakeAudioSource.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>

namespace lumivane::host {
namespace {

class AudioCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto owned = std::make_unique<FakeAudioSource>();
        source = owned.get();
        capture = std::make_unique<AudioCapture>(std::move(owned));
        logs = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(64);
        logs->set_pattern("%v");
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("test", logs));
    }
    AudioDataCallback collector(int tag = 0) {
        return [this, tag](const int16_t* s, uint32_t frames, uint32_t rate, uint32_t channels) {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(std::vector<int16_t>(s, s + frames * channels));
            tags.push_back(tag);
            lastRate = rate;
            lastChannels = channels;
        };
    }
    std::vector<std::string> lines() { return logs->last_formatted(); }

    FakeAudioSource* source = nullptr;
    std::unique_ptr<AudioCapture> capture;
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> logs;
    std::mutex mutex;
    std::vector<std::vector<int16_t>> received;
    std::vector<int> tags;
    uint32_t lastRate = 0, lastChannels = 0;
};

TEST_F(AudioCaptureTest, ConvertsFloatWithClampAndTruncation) {
    ASSERT_TRUE(capture->initialize(AudioCaptureConfig{}));
    ASSERT_TRUE(capture->start(collector()));
    source->pushSamples(std::vector<float>{1.5f, -1.5f, 0.5f, -0.5f, 0.0f, 1.0f});
    ASSERT_TRUE(source->waitDrained());
    capture->stop();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (std::vector<int16_t>{32767, -32767, 16383, -16383, 0, 32767}));
    EXPECT_EQ(lastRate, 48000u);
    EXPECT_EQ(lastChannels, 2u);
}

TEST_F(AudioCaptureTest, SilentPacketsAreSkippedButReleased) {
    ASSERT_TRUE(capture->initialize(AudioCaptureConfig{}));
    ASSERT_TRUE(capture->start(collector()));
    source->pushSamples(std::vector<float>{0.25f, 0.25f}, true);
    source->pushSamples(std::vector<float>{0.5f, 0.5f});
    ASSERT_TRUE(source->waitDrained());
    capture->stop();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][0], 16383);
    EXPECT_EQ(source->released, 2);
}

TEST_F(AudioCaptureTest, OtherFormatsAreConvertedOrRefused) {
    source->format = AudioFormat{44100, 1, 16, SampleType::Integer};
    ASSERT_TRUE(capture->initialize(AudioCaptureConfig{}));
    ASSERT_TRUE(capture->start(collector()));
    source->pushSamples(std::vector<int16_t>(441, 1000));
    ASSERT_TRUE(source->waitDrained());
    capture->stop();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_NEAR(static_cast<double>(received[0].size()), 480.0 * 2, 4.0);
    EXPECT_EQ(received[0][0], received[0][1]);
    EXPECT_EQ(lastRate, 48000u);
    EXPECT_EQ(lastChannels, 2u);

    auto owned = std::make_unique<FakeAudioSource>();
    FakeAudioSource* pcm8 = owned.get();
    pcm8->format = AudioFormat{48000, 2, 8, SampleType::Integer};
    AudioCapture other(std::move(owned));
    EXPECT_FALSE(other.initialize(AudioCaptureConfig{}));
    EXPECT_FALSE(other.start(collector()));
    int refusals = 0;
    for (const auto& l : lines()) refusals += l.find("Audio format not supported") != std::string::npos;
    EXPECT_EQ(refusals, 1);
}

TEST_F(AudioCaptureTest, StartTwiceKeepsTheFirstCallback) {
    ASSERT_TRUE(capture->initialize(AudioCaptureConfig{}));
    ASSERT_TRUE(capture->start(collector(1)));
    EXPECT_TRUE(capture->start(collector(2)));
    EXPECT_EQ(source->starts, 1);
    bool warned = false;
    for (const auto& l : lines()) warned = warned || l.find("Audio capture already started") != std::string::npos;
    EXPECT_TRUE(warned);
    source->pushSamples(std::vector<float>{0.0f, 0.0f});
    ASSERT_TRUE(source->waitDrained());
    capture->stop();
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0], 1);
}

TEST_F(AudioCaptureTest, StopWithoutStartDoesNothingAndRestartWorks) {
    ASSERT_TRUE(capture->initialize(AudioCaptureConfig{}));
    const size_t before = lines().size();
    capture->stop();
    EXPECT_EQ(lines().size(), before);
    EXPECT_EQ(source->stops, 0);
    ASSERT_TRUE(capture->start(collector(1)));
    capture->stop();
    ASSERT_TRUE(capture->start(collector(2)));
    source->pushSamples(std::vector<float>{0.0f, 0.0f});
    ASSERT_TRUE(source->waitDrained());
    capture->stop();
    EXPECT_EQ(source->starts, 2);
    EXPECT_EQ(source->stops, 2);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0], 2);
}

TEST_F(AudioCaptureTest, FormatAndFailures) {
    uint32_t rate = 0, channels = 0, bits = 0;
    AudioCaptureConfig config;
    config.sampleRate = 44100;
    config.loopback = false;
    EXPECT_FALSE(capture->start(collector()));  // not initialised
    source->openOk = false;
    EXPECT_FALSE(capture->initialize(config));
    EXPECT_FALSE(source->lastLoopback);
    capture->getFormat(rate, channels, bits);
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(bits, 16u);
    source->openOk = true;
    source->format = AudioFormat{96000, 6, 32, SampleType::Float};
    ASSERT_TRUE(capture->initialize(config));
    capture->getFormat(rate, channels, bits);  // what the callback gets, converted
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(channels, 2u);
    EXPECT_EQ(bits, 16u);
    source->startOk = false;
    EXPECT_FALSE(capture->start(collector()));
    capture->stop();
    EXPECT_EQ(source->stops, 0);
}

}  // namespace
}  // namespace lumivane::host
