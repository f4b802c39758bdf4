#pragma once
// One libopus encoder state tuned for low-delay music streaming. Not synchronised:
// encode runs on the audio thread, initialize and shutdown while capture is stopped.

#include <cstdint>
#include <vector>

struct OpusEncoder;

namespace lumivane::host {

struct OpusConfig {
    std::uint32_t sampleRate = 48000;
    std::uint32_t channels = 2;
    std::uint32_t bitrate = 128000;  // bit/s
    std::uint32_t frameSize = 480;   // samples per channel a frame
    std::uint32_t complexity = 5;
    bool lowDelay = true;  // restricted low-delay mode, 10 ms frames only
};

class OpusAudioEncoder {
public:
    OpusAudioEncoder() = default;
    ~OpusAudioEncoder();
    OpusAudioEncoder(const OpusAudioEncoder&) = delete;
    OpusAudioEncoder& operator=(const OpusAudioEncoder&) = delete;

    // Already initialised: warns and returns true, changing nothing.
    bool initialize(const OpusConfig& config);
    // One frame of frameSize samples per channel, interleaved; in low-delay mode exactly
    // 10 ms. Empty on failure.
    std::vector<std::uint8_t> encode(const std::int16_t* pcm, int frameSize);
    void shutdown();

    const OpusConfig& config() const { return config_; }

private:
    bool acceptsFrame(const std::int16_t* pcm, int frameSize) const;

    static constexpr std::size_t kMaxPacketBytes = 4000;

    ::OpusEncoder* encoder_ = nullptr;
    OpusConfig config_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace lumivane::host
