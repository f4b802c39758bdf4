#pragma once
// Scriptable AudioSource: the test pushes packets, the capture thread takes them.
// Thread-safe; counts what was asked of it.

#include "audio/AudioSource.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace lumivane::host {

class FakeAudioSource : public AudioSource {
public:
    // Script (set before initialize/start)
    AudioFormat format{48000, 2, 32, SampleType::Float};
    bool openOk = true;
    bool startOk = true;

    void push(std::vector<uint8_t> bytes, uint32_t frames, bool silent = false);
    template <typename T>
    void pushSamples(const std::vector<T>& samples, bool silent = false) {
        std::vector<uint8_t> bytes(samples.size() * sizeof(T));
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        push(std::move(bytes), static_cast<uint32_t>(samples.size() / format.channels), silent);
    }
    // Blocks until the capture thread has released every pushed packet (or 10 s pass).
    bool waitDrained();

    int opens = 0, starts = 0, stops = 0, released = 0;
    bool lastLoopback = false;

    bool open(bool loopback) override;
    AudioFormat mixFormat() const override { return format; }
    bool start() override;
    void stop() override;
    bool waitForData(std::chrono::milliseconds timeout) override;
    void wake() override;
    bool nextPacket(AudioPacket& packet) override;
    void releasePacket() override;

private:
    struct Queued {
        std::vector<uint8_t> bytes;
        uint32_t frames;
        bool silent;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    Queued current_;
    bool woken_ = false;
};

}  // namespace lumivane::host
