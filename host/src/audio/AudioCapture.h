#pragma once
// Records the system's audio and hands it on as interleaved int16 packets at the
// configured rate and channel count, whatever the endpoint's own format (converted, or
// refused at initialize). One owner thread calls initialize/start/stop; the callback runs
// on the capture thread.

#include "audio/AudioSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace lumivane::host {

class AudioConverter;

struct AudioCaptureConfig {
    uint32_t sampleRate = 48000;
    uint32_t channels = 2;
    uint32_t bitsPerSample = 16;
    bool loopback = true;
};

// samples: frameCount x channels interleaved values, valid only during the call.
using AudioDataCallback = std::function<void(const int16_t* samples, uint32_t frameCount,
                                             uint32_t sampleRate, uint32_t channels)>;

class AudioCapture {
public:
    explicit AudioCapture(std::unique_ptr<AudioSource> source);
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // False when the endpoint cannot be opened or its format not converted.
    bool initialize(const AudioCaptureConfig& config);
    // The callback must return quickly and must not call stop.
    bool start(AudioDataCallback callback);
    void stop();
    // What the callback receives: the configured rate and channels.
    void getFormat(uint32_t& sampleRate, uint32_t& channels, uint32_t& bitsPerSample) const;

private:
    void captureThread();
    void drainPackets();
    void deliver(const AudioPacket& packet);

    std::unique_ptr<AudioSource> source_;
    AudioCaptureConfig config_;
    AudioFormat format_;
    bool initialized_ = false;
    AudioDataCallback callback_;  // written only while the thread is not running
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::unique_ptr<AudioConverter> converter_;  // used by the capture thread while it runs
};

}  // namespace lumivane::host
