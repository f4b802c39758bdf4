#pragma once
// One encoder per stream. Not thread-safe: the orchestrator serialises every call.
// The frame callback runs inside encodeFrame on the caller's thread, with no encoder
// mutex held, so it may call getCodecConfig.

#include "encode/EncoderTypes.h"
#include "gpu/GpuDevice.h"

#include <functional>

namespace lumivane::host {

class EncoderBase {
public:
    using FrameCallback = std::function<void(const EncodedFrame&)>;

    virtual ~EncoderBase() = default;
    virtual const char* getName() const = 0;
    // Already initialised: warns and returns true, keeping the first configuration.
    // The device must outlive the encoder (or its shutdown).
    virtual bool initialize(GpuDevice* device, const EncoderConfig& config) = 0;
    virtual void shutdown() = 0;
    // False at once when uninitialised or texture is null; delivers every ready
    // access unit before returning.
    virtual bool encodeFrame(Texture* texture) = 0;
    // True when encodeFrame also takes a texture smaller than the configured size and
    // pads it (black, right and bottom) in its own picture.
    virtual bool acceptsUnpaddedFrames() const { return false; }
    virtual void requestKeyframe() = 0;
    virtual void setBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps) = 0;
    virtual void setFrameCallback(FrameCallback callback) = 0;
    virtual EncoderStats getStats() const = 0;
    virtual bool isInitialized() const = 0;
    virtual bool reconfigure(const EncoderConfig& config) = 0;
    virtual CodecConfig getCodecConfig() const = 0;
};

}  // namespace lumivane::host
