#pragma once
// An audio endpoint that hands out packets in its own mix format. The owner's thread
// calls open/start/stop; the capture thread calls waitForData/nextPacket/releasePacket;
// wake may be called from any thread.

#include <chrono>
#include <cstdint>
#include <memory>

namespace lumivane::host {

enum class SampleType : uint8_t { Float, Integer };

struct AudioFormat {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    SampleType sampleType = SampleType::Integer;
    // Speaker positions of the interleaved channels as WAVEFORMATEXTENSIBLE's mask has
    // them; 0: the usual layout for the channel count.
    uint32_t channelMask = 0;
};

struct AudioPacket {
    const uint8_t* data = nullptr;  // valid until releasePacket
    uint32_t frameCount = 0;
    bool silent = false;
};

class AudioSource {
public:
    virtual ~AudioSource() = default;

    // Loopback: what the default output plays; otherwise the default input. Logs failures.
    virtual bool open(bool loopback) = 0;
    virtual AudioFormat mixFormat() const = 0;
    virtual bool start() = 0;
    virtual void stop() = 0;
    // Called once on the capture thread before its first wait (thread priority, apartment).
    virtual void enterCaptureThread() {}
    // Returns true when a packet may be ready or wake was called, false on timeout.
    virtual bool waitForData(std::chrono::milliseconds timeout) = 0;
    virtual void wake() = 0;
    // False when no packet is ready.
    virtual bool nextPacket(AudioPacket& packet) = 0;
    virtual void releasePacket() = 0;

    // The platform's real source (not yet opened).
    static std::unique_ptr<AudioSource> create();
};

}  // namespace lumivane::host
