#include "AudioReceiver.h"

#include "Reporter.h"
#include "StreamStats.h"

namespace lumivane::client {

namespace {
constexpr std::uint32_t kDecodeErrorsReported = 5;
}

AudioReceiver::AudioReceiver(Reporter& reporter, StreamStats& stats) : reporter_(reporter), stats_(stats) {}

bool AudioReceiver::open(const std::string& wavPath, std::string& error) {
    wavPath_ = wavPath;
    if (!decoder_.open(error)) return false;
    return wavPath.empty() || wav_.open(wavPath, AudioDecoder::kSampleRate, AudioDecoder::kChannels, error);
}

void AudioReceiver::onPacket(const AudioPacket& packet, std::optional<double> latencyMs) {
    stats_.onAudioPacket(packet.sequence, packet.opusSize, latencyMs);
    std::string error;
    const int samples = decoder_.decode(packet.opus, packet.opusSize, error);
    if (samples < 0) {
        if (++decodeErrors_ <= kDecodeErrorsReported) {
            reporter_.warning("audio sequence " + std::to_string(packet.sequence) + ": " + error);
        }
        return;
    }
    stats_.onAudioDecoded(static_cast<std::uint32_t>(samples));
    samples_ += static_cast<std::uint64_t>(samples);
    if (wav_.isOpen() && !wavFailed_ && !wav_.write(decoder_.pcm(), static_cast<std::size_t>(samples), error)) {
        wavFailed_ = true;
        reporter_.warning(error);
    }
}

bool AudioReceiver::close() {
    if (!wav_.isOpen()) return true;
    if (wav_.close()) return true;
    reporter_.warning("cannot complete the WAV header of " + wavPath_);
    return false;
}

nlohmann::json AudioReceiver::summary() const {
    nlohmann::json out{{"audioSeconds", static_cast<double>(samples_) / AudioDecoder::kSampleRate},
                       {"audioDecodeErrors", decodeErrors_}};
    if (!wavPath_.empty()) out["wav"] = wavPath_;
    return out;
}

}  // namespace lumivane::client
