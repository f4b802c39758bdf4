#include "fakes/FakeEncoder.h"

#include "core/Logging.h"

namespace lumivane::host {
namespace {

void appendStartCode(std::vector<std::uint8_t>& out) { out.insert(out.end(), {0, 0, 0, 1}); }

// Four bytes, none zero, so the value can never form a start code.
void appendValue(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(static_cast<std::uint8_t>(0x10 | ((value >> shift) & 0xF)));
}

}  // namespace

bool FakeEncoder::initialize(GpuDevice*, const EncoderConfig& config) {
    ++initializeCalls;
    if (initialized_) {
        LV_WARN("Fake encoder already initialized");
        return true;
    }
    if (failInitialize) {
        LV_ERROR("Fake encoder told to fail initialization");
        return false;
    }
    config_ = config;
    initialized_ = true;
    keyframePending_ = true;
    frameNumber_ = 0;
    return true;
}

void FakeEncoder::shutdown() {
    if (!initialized_) return;
    if (onShutdown) onShutdown();
    ++shutdownCalls;
    initialized_ = false;
}

bool FakeEncoder::encodeFrame(Texture* texture) {
    ++encodeCalls;
    if (!initialized_ || !texture) return false;
    if (inspectFrame) inspectFrame(*texture);
    if (failEncode) {
        LV_ERROR("Fake encoder told to fail encoding");
        return false;
    }
    const std::uint32_t number = frameNumber_++;
    const bool keyframe = keyframePending_ || (config_.gopLength > 0 && number % config_.gopLength == 0);
    keyframePending_ = false;
    buildAccessUnit(keyframe, number);
    if (keyframe) parameterSets_.extractParameterSets(output_.data(), output_.size(), false);
    {
        std::lock_guard<std::mutex> lock(statsMutex_);
        ++stats_.framesEncoded;
        stats_.bytesEncoded += output_.size();
    }
    if (callback_) callback_(EncodedFrame{output_.data(), output_.size(), number, keyframe, number});
    return true;
}

void FakeEncoder::buildAccessUnit(bool keyframe, std::uint32_t frameNumber) {
    output_.clear();
    if (keyframe) {
        appendStartCode(output_);
        output_.insert(output_.end(), {0x67, 0x42, 0xC0, 0x1F});  // SPS, baseline profile
        appendValue(output_, config_.width);
        appendValue(output_, config_.height);
        appendStartCode(output_);
        output_.insert(output_.end(), {0x68, 0xCE, 0x3C, 0x80});  // PPS
    }
    output_.insert(output_.end(), {0, 0, 1});
    output_.push_back(keyframe ? 0x65 : 0x41);
    appendValue(output_, frameNumber);
}

void FakeEncoder::requestKeyframe() {
    ++keyframeRequests;
    keyframePending_ = true;
}

void FakeEncoder::setBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps) {
    ++setBitrateCalls;
    if (!initialized_) return;
    config_.bitrate = bitrateKbps;
    config_.maxBitrate = maxBitrateKbps;
}

EncoderStats FakeEncoder::getStats() const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    return stats_;
}

bool FakeEncoder::reconfigure(const EncoderConfig& config) {
    ++reconfigureCalls;
    if (!initialized_) return false;
    if (config.width == config_.width && config.height == config_.height) {
        setBitrate(config.bitrate, config.maxBitrate);
        return true;
    }
    if (refuseReconfigure) return false;
    shutdown();
    return initialize(nullptr, config);
}

}  // namespace lumivane::host
