#include "AudioDecoder.h"

#include <opus.h>

#include <climits>

namespace lumivane::client {

namespace {
constexpr int kMaxFrameSamples = AudioDecoder::kSampleRate * 120 / 1000;
}

AudioDecoder::~AudioDecoder() {
    if (decoder_) opus_decoder_destroy(decoder_);
}

bool AudioDecoder::open(std::string& error) {
    int rc = OPUS_OK;
    decoder_ = opus_decoder_create(kSampleRate, kChannels, &rc);
    if (rc != OPUS_OK || !decoder_) {
        error = std::string("cannot create the Opus decoder: ") + opus_strerror(rc);
        decoder_ = nullptr;
        return false;
    }
    pcm_.assign(static_cast<std::size_t>(kMaxFrameSamples) * kChannels, 0);
    return true;
}

int AudioDecoder::decode(const std::uint8_t* data, std::size_t size, std::string& error) {
    if (!decoder_) {
        error = "Opus decoder not open";
        return -1;
    }
    if (size == 0 || size > INT_MAX) {
        error = "empty or oversized Opus packet";
        return -1;
    }
    const int samples = opus_decode(decoder_, data, static_cast<opus_int32>(size), pcm_.data(), kMaxFrameSamples, 0);
    if (samples < 0) {
        error = std::string("Opus packet did not decode: ") + opus_strerror(samples);
        return -1;
    }
    return samples;
}

}  // namespace lumivane::client
