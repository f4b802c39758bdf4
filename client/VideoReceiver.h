#pragma once
// What happens to the video of one watched stream: its configurations and packets in,
// order checks, decoding, saved pictures and statistics out. No sockets: the session
// feeds it what belongs to this stream, so every rule here can be driven directly.

#include "FrameSaver.h"
#include "MediaPackets.h"
#include "OrderChecker.h"
#include "VideoDecoder.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace lumivane::client {

class Reporter;
class StreamStats;

class VideoReceiver {
public:
    struct Hooks {
        // A keyframe waits for its configuration: call onSignallingDrained once the
        // signalling connection has nothing more to read.
        std::function<void()> orderPending;
        std::function<void(std::uint8_t streamId)> requestKeyframe;  // on the video connection
        std::function<void()> firstPicture;
        // Every decoded picture, as soon as it is decoded (for measuring tools).
        std::function<void(const VideoDecoder&)> picture;
    };

    VideoReceiver(Reporter& reporter, StreamStats& stats, FrameSaver saver);

    bool open(Hooks hooks, std::string& error);
    // `earlyConfig`: this stream's configuration when it came before stream_started
    // (already reported), else null.
    void setStream(std::uint8_t streamId, const nlohmann::json* earlyConfig);
    std::optional<std::uint8_t> streamId() const { return streamId_; }
    // A configuration for this stream.
    void onStreamConfig(const nlohmann::json& message);
    // A packet of this stream.
    void onPacket(const VideoPacket& packet, std::optional<double> latencyMs);
    // The "stream_config" event of any stream; `verbose`: only with --verbose.
    static void reportConfig(Reporter& reporter, const nlohmann::json& message, bool ours, bool verbose);
    // A broken packet or message: counted and reported.
    void onViolation(const std::string& message);
    // The signalling connection holds nothing unread: keyframes still waiting for their
    // configuration never get one (violations).
    void onSignallingDrained();
    bool hasPendingOrder() const { return order_.hasPending(); }

    std::uint64_t pictures() const { return pictures_; }
    std::uint32_t violations() const { return violations_; }
    std::optional<double> lastDecodeMs() const { return lastDecodeMs_; }
    // Counters for the run's summary.
    nlohmann::json summary() const;

private:
    void decode(const VideoPacket& packet);
    void checkOrder(const VideoPacket& packet, bool decoded);
    void applyParameterSets(const nlohmann::json& config);

    Reporter& reporter_;
    StreamStats& stats_;
    FrameSaver saver_;
    Hooks hooks_;
    VideoDecoder decoder_;
    OrderChecker order_;
    std::optional<std::uint8_t> streamId_;
    bool keyframeSeen_ = false;
    bool keyframeAsked_ = false;
    std::uint64_t pictures_ = 0;
    std::uint64_t skippedBeforeKeyframe_ = 0;
    std::uint32_t decodeErrors_ = 0;
    std::uint32_t configs_ = 0;
    std::uint32_t violations_ = 0;
    std::uint32_t framesSaved_ = 0;
    std::optional<double> lastDecodeMs_;
    bool saveFailed_ = false;
};

}  // namespace lumivane::client
