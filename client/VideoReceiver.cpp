#include "VideoReceiver.h"

#include "JsonFields.h"
#include "Reporter.h"
#include "StreamStats.h"
#include "core/Base64.h"

#include <chrono>

namespace lumivane::client {

namespace {

constexpr std::uint32_t kDecodeErrorsReported = 5;

std::vector<std::uint8_t> base64Field(const nlohmann::json& j, const char* key, bool& ok) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string()) {
        ok = false;
        return {};
    }
    auto bytes = host::base64Decode(it->get<std::string>());
    ok = ok && bytes.has_value();
    return bytes.value_or(std::vector<std::uint8_t>{});
}

}  // namespace

VideoReceiver::VideoReceiver(Reporter& reporter, StreamStats& stats, FrameSaver saver)
    : reporter_(reporter), stats_(stats), saver_(std::move(saver)) {}

bool VideoReceiver::open(Hooks hooks, std::string& error) {
    hooks_ = std::move(hooks);
    return decoder_.open(error) && saver_.prepare(error);
}

void VideoReceiver::setStream(std::uint8_t streamId, const nlohmann::json* earlyConfig) {
    streamId_ = streamId;
    if (!earlyConfig) return;
    order_.onConfig(streamId, {uintField(*earlyConfig, "width"), uintField(*earlyConfig, "height")});
    ++configs_;
    applyParameterSets(*earlyConfig);
}

void VideoReceiver::reportConfig(Reporter& reporter, const nlohmann::json& message, bool ours, bool verbose) {
    bool ok = true;
    reporter.emit("stream_config", {{"streamId", uintField(message, "streamId")}, {"windowId", uintField(message, "windowId")},
                                    {"width", uintField(message, "width")}, {"height", uintField(message, "height")},
                                    {"codec", stringField(message, "codec")},
                                    {"spsBytes", base64Field(message, "sps", ok).size()},
                                    {"ppsBytes", base64Field(message, "pps", ok).size()},
                                    {"targetBitrate", uintField(message, "targetBitrate")},
                                    {"targetFps", uintField(message, "targetFps")}, {"ours", ours}},
                  verbose);
}

void VideoReceiver::onStreamConfig(const nlohmann::json& message) {
    const auto stream = uintField(message, "streamId");
    reportConfig(reporter_, message, true, false);
    order_.onConfig(static_cast<std::uint8_t>(stream), {uintField(message, "width"), uintField(message, "height")});
    bool ok = true;
    base64Field(message, "sps", ok);
    base64Field(message, "pps", ok);
    if (!ok) onViolation("stream_config for stream " + std::to_string(stream) + " lacks base64 \"sps\"/\"pps\" strings");
    ++configs_;
    applyParameterSets(message);
}

void VideoReceiver::applyParameterSets(const nlohmann::json& config) {
    bool ok = true;
    decoder_.setParameterSets(base64Field(config, "sps", ok), base64Field(config, "pps", ok));
}

void VideoReceiver::onPacket(const VideoPacket& packet, std::optional<double> latencyMs) {
    stats_.onVideoPacket(packet.frameSize, packet.keyframe, latencyMs);
    if (!keyframeSeen_ && !packet.keyframe) {
        // Joined after the stream's first keyframe: nothing decodes until the next one.
        ++skippedBeforeKeyframe_;
        if (!keyframeAsked_ && hooks_.requestKeyframe) {
            keyframeAsked_ = true;
            hooks_.requestKeyframe(packet.streamId);
            reporter_.emit("keyframe_requested", {{"streamId", packet.streamId}, {"via", "video"}});
        }
        return;
    }
    keyframeSeen_ = keyframeSeen_ || packet.keyframe;
    decode(packet);
}

void VideoReceiver::decode(const VideoPacket& packet) {
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    const bool got = decoder_.decode(packet.frame, packet.frameSize, error);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (packet.keyframe) checkOrder(packet, got);
    if (!got) {
        if (!error.empty() && ++decodeErrors_ <= kDecodeErrorsReported) {
            reporter_.warning("sequence " + std::to_string(packet.sequence) + ": " + error);
        }
        return;
    }
    stats_.onVideoDecoded(ms);
    lastDecodeMs_ = ms;
    ++pictures_;
    if (hooks_.picture) hooks_.picture(decoder_);
    std::string path;
    if (!saveFailed_ && !saver_.maybeSave(pictures_, decoder_, path, error)) {
        saveFailed_ = true;  // one report, not one per frame
        reporter_.warning(error + "; no more pictures are saved");
    } else if (!path.empty()) {
        ++framesSaved_;
        reporter_.emit("frame_saved", {{"path", path}, {"picture", pictures_}}, true);
    }
    if (pictures_ == 1 && hooks_.firstPicture) hooks_.firstPicture();
}

void VideoReceiver::checkOrder(const VideoPacket& packet, bool decoded) {
    std::optional<PictureSize> size;
    if (decoded) size = PictureSize{static_cast<std::uint32_t>(decoder_.width()), static_cast<std::uint32_t>(decoder_.height())};
    const auto verdict = order_.onKeyframe(packet.streamId, size);
    reporter_.emit("keyframe",
                   {{"streamId", packet.streamId}, {"sequence", packet.sequence}, {"bytes", packet.frameSize},
                    {"width", size ? size->width : 0}, {"height", size ? size->height : 0},
                    {"order", verdict == OrderChecker::Verdict::InOrder ? "in order" : "config pending"}},
                   true);
    if (verdict == OrderChecker::Verdict::Pending && hooks_.orderPending) hooks_.orderPending();
}

void VideoReceiver::onViolation(const std::string& message) {
    ++violations_;
    reporter_.emit("violation", {{"message", message}});
}

void VideoReceiver::onSignallingDrained() {
    for (const auto& message : order_.takeUnresolved()) onViolation(message);
}

nlohmann::json VideoReceiver::summary() const {
    return {{"pictures", pictures_},       {"decodeErrors", decodeErrors_},
            {"configs", configs_},         {"violations", violations_},
            {"framesSaved", framesSaved_}, {"skippedBeforeKeyframe", skippedBeforeKeyframe_}};
}

}  // namespace lumivane::client
