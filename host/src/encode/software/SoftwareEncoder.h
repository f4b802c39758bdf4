#pragma once
// H.264 on the CPU: BGRA frames converted to I420 and encoded by libx264, tuned so that
// every frame leaves the encoder inside the encodeFrame call that submitted it. Frames
// smaller than the configured size are padded with black in the I420 picture.

#include "encode/EncoderBase.h"
#include "encode/ParameterSets.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

struct x264_t;

namespace lumivane::host {

class SoftwareEncoder final : public EncoderBase {
public:
    explicit SoftwareEncoder(std::string preset = "ultrafast");
    ~SoftwareEncoder() override;
    SoftwareEncoder(const SoftwareEncoder&) = delete;
    SoftwareEncoder& operator=(const SoftwareEncoder&) = delete;

    const char* getName() const override { return "Software"; }
    bool initialize(GpuDevice* device, const EncoderConfig& config) override;
    void shutdown() override;
    // The texture must expose its pixels and be at most the configured size.
    bool encodeFrame(Texture* texture) override;
    bool acceptsUnpaddedFrames() const override { return true; }
    void requestKeyframe() override { keyframeRequested_ = true; }
    void setBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps) override;
    void setFrameCallback(FrameCallback callback) override { frameCallback_ = std::move(callback); }
    EncoderStats getStats() const override;
    bool isInitialized() const override { return initialized_; }
    bool reconfigure(const EncoderConfig& config) override;
    CodecConfig getCodecConfig() const override;

private:
    struct Picture;
    struct X264Closer {
        void operator()(x264_t* encoder) const;
    };

    bool acceptsConfig(const EncoderConfig& config) const;
    bool openEncoder();
    bool convert(const Texture& texture);
    void fillBlack();
    void deliver(const std::uint8_t* data, std::size_t size, bool keyframe);
    void recordFrame(double elapsedMs);

    std::string preset_;
    GpuDevice* device_ = nullptr;
    EncoderConfig config_;
    std::unique_ptr<x264_t, X264Closer> encoder_;
    std::unique_ptr<Picture> picture_;  // I420 input, allocated once per session
    bool initialized_ = false;
    std::atomic<bool> keyframeRequested_{false};
    std::uint32_t frameCounter_ = 0;
    std::uint32_t contentWidth_ = 0;  // of the last frame converted
    std::uint32_t contentHeight_ = 0;
    FrameCallback frameCallback_;

    mutable std::mutex statsMutex_;
    EncoderStats stats_;
    ParameterSets parameterSets_;
};

}  // namespace lumivane::host
