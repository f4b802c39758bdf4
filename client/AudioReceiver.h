#pragma once
// The audio connection's packets: counted, decoded and, when asked, written to a WAV file.

#include "AudioDecoder.h"
#include "MediaPackets.h"
#include "WavWriter.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace lumivane::client {

class Reporter;
class StreamStats;

class AudioReceiver {
public:
    AudioReceiver(Reporter& reporter, StreamStats& stats);

    // wavPath may be empty (decode and count only).
    bool open(const std::string& wavPath, std::string& error);
    void onPacket(const AudioPacket& packet, std::optional<double> latencyMs);
    // Finishes the WAV file; false when its header could not be completed.
    bool close();
    nlohmann::json summary() const;

private:
    Reporter& reporter_;
    StreamStats& stats_;
    AudioDecoder decoder_;
    WavWriter wav_;
    std::string wavPath_;
    std::uint64_t samples_ = 0;
    std::uint32_t decodeErrors_ = 0;
    bool wavFailed_ = false;
};

}  // namespace lumivane::client
