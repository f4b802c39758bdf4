#pragma once
// An encoder that needs no codec: each frame becomes a small but well-formed Annex-B
// H.264 access unit (SPS, PPS and IDR slice on keyframes, one slice otherwise). Counts
// every call and can be told to fail.

#include "encode/EncoderBase.h"
#include "encode/ParameterSets.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace lumivane::host {

class FakeEncoder final : public EncoderBase {
public:
    ~FakeEncoder() override { shutdown(); }

    const char* getName() const override { return "Fake"; }
    bool initialize(GpuDevice* device, const EncoderConfig& config) override;
    void shutdown() override;
    bool encodeFrame(Texture* texture) override;
    void requestKeyframe() override;
    void setBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps) override;
    void setFrameCallback(FrameCallback callback) override { callback_ = std::move(callback); }
    EncoderStats getStats() const override;
    bool isInitialized() const override { return initialized_; }
    bool reconfigure(const EncoderConfig& config) override;
    CodecConfig getCodecConfig() const override { return parameterSets_.codecConfig(); }

    const EncoderConfig& config() const { return config_; }

    // Script.
    bool failInitialize = false;
    bool failEncode = false;
    bool refuseReconfigure = false;  // a size change is refused instead of re-initialising
    // Sees every texture handed to encodeFrame, before it is encoded.
    std::function<void(const Texture&)> inspectFrame;
    // Runs inside shutdown of an initialised encoder.
    std::function<void()> onShutdown;

    // Counters.
    int initializeCalls = 0;
    int shutdownCalls = 0;
    int encodeCalls = 0;
    int keyframeRequests = 0;
    int setBitrateCalls = 0;
    int reconfigureCalls = 0;

private:
    void buildAccessUnit(bool keyframe, std::uint32_t frameNumber);

    bool initialized_ = false;
    bool keyframePending_ = false;
    std::uint32_t frameNumber_ = 0;
    EncoderConfig config_;
    FrameCallback callback_;
    std::vector<std::uint8_t> output_;
    ParameterSets parameterSets_;
    mutable std::mutex statsMutex_;
    EncoderStats stats_;
};

}  // namespace lumivane::host
