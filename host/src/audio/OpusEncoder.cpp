#include "audio/OpusEncoder.h"

#include "core/Logging.h"

#include <opus.h>

namespace lumivane::host {

OpusAudioEncoder::~OpusAudioEncoder() { shutdown(); }

bool OpusAudioEncoder::initialize(const OpusConfig& config) {
    if (encoder_) {
        LV_WARN("Opus encoder already initialized");
        return true;
    }
    config_ = config;
    const int application = config.lowDelay ? OPUS_APPLICATION_RESTRICTED_LOWDELAY : OPUS_APPLICATION_AUDIO;
    int error = OPUS_OK;
    encoder_ = opus_encoder_create(static_cast<opus_int32>(config.sampleRate), static_cast<int>(config.channels),
                                   application, &error);
    if (error != OPUS_OK || !encoder_) {
        LV_ERROR("Failed to create Opus encoder: {}", opus_strerror(error));
        if (encoder_) opus_encoder_destroy(encoder_);
        encoder_ = nullptr;
        return false;
    }
    opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(static_cast<opus_int32>(config.bitrate)));
    opus_encoder_ctl(encoder_, OPUS_SET_COMPLEXITY(static_cast<opus_int32>(config.complexity)));
    opus_encoder_ctl(encoder_, OPUS_SET_SIGNAL(OPUS_SIGNAL_MUSIC));
    if (config.lowDelay) opus_encoder_ctl(encoder_, OPUS_SET_EXPERT_FRAME_DURATION(OPUS_FRAMESIZE_10_MS));
    buffer_.assign(kMaxPacketBytes, 0);
    LV_INFO("Opus encoder initialized: {} Hz, {} ch, {} kbps", config.sampleRate, config.channels,
            config.bitrate / 1000);
    return true;
}

std::vector<std::uint8_t> OpusAudioEncoder::encode(const std::int16_t* pcm, int frameSize) {
    if (!encoder_) return {};
    const int n = acceptsFrame(pcm, frameSize)
                      ? opus_encode(encoder_, pcm, frameSize, buffer_.data(), static_cast<opus_int32>(buffer_.size()))
                      : OPUS_BAD_ARG;
    if (n < 0) {
        LV_ERROR("Opus encode error: {}", opus_strerror(n));
        return {};
    }
    return std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + n);
}

// libopus reads through a null buffer, and with the frame duration fixed at 10 ms it
// encodes the first 10 ms of a longer frame and silently drops the rest.
bool OpusAudioEncoder::acceptsFrame(const std::int16_t* pcm, int frameSize) const {
    if (!pcm) return false;
    return !config_.lowDelay || frameSize == static_cast<int>(config_.sampleRate / 100);
}

void OpusAudioEncoder::shutdown() {
    if (!encoder_) return;
    opus_encoder_destroy(encoder_);
    encoder_ = nullptr;
}

}  // namespace lumivane::host
