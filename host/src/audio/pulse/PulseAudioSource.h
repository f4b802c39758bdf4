#pragma once
// AudioSource on PulseAudio's threaded main loop: 48000 Hz stereo float32, handed out in
// 10 ms packets. Lock order: main-loop lock, then mutex_ (the read callback runs with the
// main-loop lock held); the capture thread takes only mutex_.

#include "audio/AudioSource.h"

#include <pulse/pulseaudio.h>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace lumivane::host {

class PulseAudioSource : public AudioSource {
public:
    PulseAudioSource() = default;
    ~PulseAudioSource() override;
    PulseAudioSource(const PulseAudioSource&) = delete;
    PulseAudioSource& operator=(const PulseAudioSource&) = delete;

    bool open(bool loopback) override;
    AudioFormat mixFormat() const override;
    bool start() override;
    void stop() override;
    bool waitForData(std::chrono::milliseconds timeout) override;
    void wake() override;
    bool nextPacket(AudioPacket& packet) override;
    void releasePacket() override {}

private:
    static constexpr uint32_t kRate = 48000;
    static constexpr uint32_t kChannels = 2;
    static constexpr size_t kFrameBytes = kChannels * sizeof(float);
    static constexpr uint32_t kPacketFrames = kRate / 100;
    static constexpr size_t kPacketBytes = kPacketFrames * kFrameBytes;
    static constexpr size_t kMaxPendingBytes = kRate * kFrameBytes;  // one second

    bool connectContext();
    bool connectStream(bool loopback);
    bool cork(bool paused);
    void close();
    void onReadable();
    static void onContextState(pa_context* c, void* self);
    static void onStreamState(pa_stream* s, void* self);
    static void onRead(pa_stream* s, size_t bytes, void* self);
    static void onSuccess(pa_stream* s, int success, void* self);

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;

    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<uint8_t> pending_;  // guarded by mutex_
    bool woken_ = false;            // guarded by mutex_
    std::vector<uint8_t> packet_;   // capture thread only
};

}  // namespace lumivane::host
