#pragma once
// Opus packets to 48 kHz interleaved 16-bit PCM with libopus.

#include <cstdint>
#include <string>
#include <vector>

struct OpusDecoder;

namespace lumivane::client {

class AudioDecoder {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;

    AudioDecoder() = default;
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    bool open(std::string& error);
    // Samples per channel decoded into pcm(), or -1 with `error`.
    int decode(const std::uint8_t* data, std::size_t size, std::string& error);
    const std::int16_t* pcm() const { return pcm_.data(); }

private:
    ::OpusDecoder* decoder_ = nullptr;
    std::vector<std::int16_t> pcm_;  // room for the longest Opus packet, 120 ms
};

}  // namespace lumivane::client
