#pragma once
// Turns "stream window W as stream S" into a running capture → pad → encode pipeline,
// one StreamSession per stream id, all on one frame device.
//
// Threads: frames are padded and encoded on each stream's capture thread, under mutex_,
// and the encoded-frame and resolution-change callbacks run there with mutex_ held. Those
// callbacks may call requestKeyframe, setStreamBitrate, getCodecConfig and
// getStreamResolution (the lock is re-entrant) but must not start or stop streams.
// Everything else may be called from any thread.

#include "capture/StreamSession.h"
#include "capture/WindowCapture.h"
#include "capture/WindowEnumerator.h"
#include "core/WindowInfo.h"
#include "capture/WindowSystem.h"
#include "encode/EncoderPlatform.h"
#include "encode/EncoderTypes.h"
#include "gpu/GpuDevice.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace lumivane::host {

class CaptureOrchestrator {
public:
    // data is borrowed: valid only during the call. arrival is when the captured frame that
    // was encoded reached the orchestrator, for latency measured further down the path.
    using EncodedFrameCallback =
        std::function<void(std::uint8_t streamId, const std::uint8_t* data, std::size_t size, bool isKeyframe,
                           std::chrono::steady_clock::time_point arrival)>;
    using ResolutionChangeCallback =
        std::function<void(std::uint8_t streamId, std::uint32_t width, std::uint32_t height)>;
    // Null (after its own log line) when no device can be made.
    using DeviceFactory = std::function<std::unique_ptr<GpuDevice>()>;
    // A fresh, uninitialised capture paced to at most maxFps; null when none can be made.
    using CaptureFactory = std::function<std::unique_ptr<WindowCapture>(std::uint32_t maxFps)>;

    // windows answers the is-window checks, enumerator lists windows; either is null when
    // the window system is unreachable (no windows: initialize fails; no enumerator: an
    // empty list). The encoder platform must outlive this object.
    CaptureOrchestrator(DeviceFactory createDevice, CaptureFactory createCapture,
                        std::unique_ptr<WindowSystem> windows, std::unique_ptr<WindowEnumerator> enumerator,
                        const EncoderPlatform& encoders);
    ~CaptureOrchestrator();
    CaptureOrchestrator(const CaptureOrchestrator&) = delete;
    CaptureOrchestrator& operator=(const CaptureOrchestrator&) = delete;

    // The platform's frame device, window system, capture and encoders.
    static std::unique_ptr<CaptureOrchestrator> create();

    bool initialize();
    void shutdown();
    void stopAllCaptures();

    bool startCapture(std::uint32_t windowId, std::uint8_t streamId);
    void stopCapture(std::uint8_t streamId);
    // Drops streams whose window or capture has ended; call once per main-loop iteration.
    void update();
    void requestKeyframe(std::uint8_t streamId);
    void setStreamBitrate(std::uint8_t streamId, std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps);
    // Empty and not valid for an unknown stream or one without an encoder.
    CodecConfig getCodecConfig(std::uint8_t streamId);
    // The unpadded capture size; false, outputs untouched, for an unknown stream.
    bool getStreamResolution(std::uint8_t streamId, std::uint32_t& width, std::uint32_t& height);

    // For encoders created later; running ones keep theirs.
    void setDefaultBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps);
    void setDefaultFps(std::uint32_t fps);
    void setEncodedFrameCallback(EncodedFrameCallback callback);
    void setResolutionChangeCallback(ResolutionChangeCallback callback);

    std::vector<protocol::WindowInfo> getWindowList();
    // Written only by initialize.
    const char* getEncoderName() const { return encoderName_.c_str(); }
    std::string getGpuName() const { return gpuName_; }
    std::uint64_t getVramMb() const { return vramMb_; }

private:
    using Sessions = std::unordered_map<std::uint8_t, StreamSession>;

    bool initializeDevice();
    void chooseEncoderName();
    bool startLocked(std::uint32_t windowId, std::uint8_t streamId, std::vector<StreamSession>& retired);
    StreamSession detach(Sessions::iterator it);
    static void retire(std::vector<StreamSession>& sessions);
    StreamSession* findSession(std::uint8_t streamId);
    void onFrameCaptured(std::uint8_t streamId, std::uint64_t serial, const Texture& texture,
                         std::uint32_t width, std::uint32_t height);
    void onCaptureResumed(std::uint8_t streamId, std::uint64_t serial);
    bool rebuildEncoder(StreamSession& session, std::uint8_t streamId, std::uint32_t width,
                        std::uint32_t height);
    const Texture* padFrame(StreamSession& session, const Texture& texture);
    bool buildEncoder(StreamSession& session, std::uint8_t streamId);
    void deliverEncodedFrame(std::uint8_t streamId, const EncodedFrame& frame);
    static void setSize(StreamSession& session, std::uint32_t width, std::uint32_t height);
    EncoderConfig encoderConfigFor(std::uint32_t paddedWidth, std::uint32_t paddedHeight) const;
    std::uint32_t defaultFps() const;

    DeviceFactory createDevice_;
    CaptureFactory createCapture_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<WindowEnumerator> enumerator_;
    const EncoderPlatform& encoders_;

    // Guards sessions_, every session and its encoder, and device_. Re-entrant because the
    // encoded-frame callback calls back in on the same thread. Never held while a capture
    // is stopped or destroyed: that waits for the capture's frame handler, which takes it.
    mutable std::recursive_mutex mutex_;
    std::unique_ptr<GpuDevice> device_;
    Sessions sessions_;
    std::uint64_t nextSerial_ = 1;

    // Leaf lock for the defaults and the callbacks: nothing is called while it is held, so
    // the application may set them from any thread, holding any lock of its own.
    mutable std::mutex settingsMutex_;
    EncoderConfig encoderConfig_;
    std::shared_ptr<const EncodedFrameCallback> encodedFrameCallback_;
    std::shared_ptr<const ResolutionChangeCallback> resolutionChangeCallback_;

    std::atomic<bool> initialized_{false};
    std::string encoderName_;
    std::string gpuName_;
    std::uint64_t vramMb_ = 0;
};

}  // namespace lumivane::host
