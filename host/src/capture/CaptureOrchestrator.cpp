#include "capture/CaptureOrchestrator.h"

#include "encode/EncoderFactory.h"
#include "core/Logging.h"

#include <algorithm>
#include <chrono>

namespace lumivane::host {
namespace {

// Process-wide over all streams, never reset: the number shown in the encode warning.
std::atomic<std::uint64_t> encodeAttemptCount{0};

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

bool offers(const std::vector<EncoderType>& kinds, EncoderType kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

}  // namespace

CaptureOrchestrator::CaptureOrchestrator(DeviceFactory createDevice, CaptureFactory createCapture,
                                         std::unique_ptr<WindowSystem> windows,
                                         std::unique_ptr<WindowEnumerator> enumerator,
                                         const EncoderPlatform& encoders)
    : createDevice_(std::move(createDevice)), createCapture_(std::move(createCapture)),
      windows_(std::move(windows)), enumerator_(std::move(enumerator)), encoders_(encoders) {}

CaptureOrchestrator::~CaptureOrchestrator() { shutdown(); }

std::unique_ptr<CaptureOrchestrator> CaptureOrchestrator::create() {
    // The listing gets its own connection so that it never waits behind the frame path.
    auto listing = WindowSystem::create();
    return std::make_unique<CaptureOrchestrator>(
        [] { return GpuDevice::create(); }, [](std::uint32_t fps) { return WindowCapture::create(fps); },
        WindowSystem::create(), listing ? std::make_unique<WindowEnumerator>(std::move(listing)) : nullptr,
        EncoderPlatform::native());
}

// ---- lifecycle ----

bool CaptureOrchestrator::initialize() {
    std::lock_guard lock(mutex_);
    if (initialized_) {
        LV_WARN("CaptureOrchestrator already initialized");
        return true;
    }
    if (!windows_) {
        LV_ERROR("Window system unavailable - cannot capture windows");
        return false;
    }
    if (!initializeDevice()) return false;
    chooseEncoderName();
    initialized_ = true;
    LV_INFO("CaptureOrchestrator initialized with {} encoder", encoderName_);
    return true;
}

bool CaptureOrchestrator::initializeDevice() {
    device_.reset();
    device_ = createDevice_();
    // One more try: device creation can fail transiently (driver reset, display change).
    if (!device_) device_ = createDevice_();
    if (!device_) {
        LV_ERROR("Failed to create frame device");
        return false;
    }
    AdapterInfo adapter = device_->adapterInfo();
    if (!adapter.name.empty()) {
        gpuName_ = adapter.name;
        vramMb_ = adapter.dedicatedVideoMemory >> 20;
        LV_INFO("GPU: {} (VRAM: {} MB)", gpuName_, vramMb_);
    }
    return true;
}

// Only reports the best kind; encoders are made per stream.
void CaptureOrchestrator::chooseEncoderName() {
    std::vector<EncoderType> kinds = EncoderFactory::getAvailableEncoders(encoders_, device_.get());
    if (kinds.empty()) {
        LV_WARN("No hardware encoders available - capture will work but encoding disabled");
        encoderName_ = "None";
    } else if (offers(kinds, EncoderType::NVENC)) {
        encoderName_ = "NVENC";
    } else if (offers(kinds, EncoderType::AMF)) {
        encoderName_ = "AMF";
    } else if (offers(kinds, EncoderType::Software)) {
        encoderName_ = "Software";
    } else {
        encoderName_ = "Unknown";
    }
}

void CaptureOrchestrator::shutdown() {
    // Cleared first, so that no stream starts while the others are being stopped.
    if (!initialized_.exchange(false)) return;
    LV_INFO("Shutting down CaptureOrchestrator...");
    stopAllCaptures();
    std::lock_guard lock(mutex_);
    device_.reset();
}

// ---- streams ----
//
// Lock rule: a capture is stopped and destroyed only after mutex_ is released. Stopping
// waits for the capture's running frame handler, and that handler waits for mutex_.
// Sessions are therefore detached under the lock (encoder shut down there) and retired
// after it; a frame that arrives in between finds no session, or one with another serial,
// and is dropped.

bool CaptureOrchestrator::startCapture(std::uint32_t windowId, std::uint8_t streamId) {
    std::vector<StreamSession> retired;
    bool started = false;
    {
        std::lock_guard lock(mutex_);
        started = startLocked(windowId, streamId, retired);
    }
    retire(retired);
    return started;
}

bool CaptureOrchestrator::startLocked(std::uint32_t windowId, std::uint8_t streamId,
                                      std::vector<StreamSession>& retired) {
    if (!initialized_) {
        LV_ERROR("CaptureOrchestrator not initialized");
        return false;
    }
    if (auto it = sessions_.find(streamId); it != sessions_.end()) {
        LV_WARN("Stream {} already exists, stopping first", unsigned(streamId));
        retired.push_back(detach(it));
    }
    if (!windows_->isWindow(windowId)) {
        LV_ERROR("Invalid window handle: {:x}", windowId);
        return false;
    }
    StreamSession session;
    session.windowId = windowId;
    session.capture = createCapture_(defaultFps());
    if (!session.capture || !session.capture->initialize(windowId, device_.get())) {
        LV_ERROR("Failed to initialize capture for window {:x}", windowId);
        retired.push_back(std::move(session));
        return false;
    }
    std::int32_t width = 0, height = 0;
    session.capture->getSize(width, height);
    setSize(session, std::uint32_t(width), std::uint32_t(height));
    LV_INFO("Creating encoder for {}x{} (padded from {}x{})", session.paddedWidth, session.paddedHeight,
            session.width, session.height);
    if (!buildEncoder(session, streamId)) {
        LV_ERROR("Failed to create encoder for window {:x}", windowId);
        retired.push_back(std::move(session));
        return false;
    }
    session.serial = nextSerial_++;
    auto onFrame = [this, streamId, serial = session.serial](const Texture& texture, std::uint32_t w,
                                                              std::uint32_t h) {
        onFrameCaptured(streamId, serial, texture, w, h);
    };
    auto onResumed = [this, streamId, serial = session.serial] { onCaptureResumed(streamId, serial); };
    if (!session.capture->startCapture(onFrame, onResumed)) {
        LV_ERROR("Failed to start capture for window {:x}", windowId);
        session.encoder->shutdown();
        retired.push_back(std::move(session));
        return false;
    }
    LV_INFO("Started capture for window {:x} on stream {} ({}x{})", windowId, unsigned(streamId),
            session.paddedWidth, session.paddedHeight);
    sessions_.insert_or_assign(streamId, std::move(session));
    return true;
}

void CaptureOrchestrator::stopCapture(std::uint8_t streamId) {
    std::vector<StreamSession> retired;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(streamId);
        if (it == sessions_.end()) {
            LV_WARN("Stream {} not found", unsigned(streamId));
            return;
        }
        retired.push_back(detach(it));
    }
    retire(retired);
    LV_INFO("Stopped capture on stream {}", unsigned(streamId));
}

void CaptureOrchestrator::update() {
    std::vector<StreamSession> retired;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            StreamSession& session = it->second;
            if (windows_->isWindow(session.windowId) && session.capture->isCapturing()) {
                ++it;
                continue;
            }
            LV_INFO("Removing inactive session for stream {}", unsigned(it->first));
            auto next = std::next(it);
            retired.push_back(detach(it));
            it = next;
        }
    }
    retire(retired);
}

void CaptureOrchestrator::stopAllCaptures() {
    std::vector<StreamSession> retired;
    {
        std::lock_guard lock(mutex_);
        while (!sessions_.empty()) retired.push_back(detach(sessions_.begin()));
    }
    retire(retired);
    LV_INFO("Stopped all captures");
}

// Under mutex_. The encoder stops here: no frame can reach it once it leaves the map.
StreamSession CaptureOrchestrator::detach(Sessions::iterator it) {
    StreamSession session = std::move(it->second);
    sessions_.erase(it);
    if (session.encoder) session.encoder->shutdown();
    return session;
}

// Without mutex_: stopping joins the capture's frame thread.
void CaptureOrchestrator::retire(std::vector<StreamSession>& sessions) {
    for (StreamSession& session : sessions) {
        if (session.capture) session.capture->stopCapture();
    }
    sessions.clear();
}

StreamSession* CaptureOrchestrator::findSession(std::uint8_t streamId) {
    auto it = sessions_.find(streamId);
    return it == sessions_.end() ? nullptr : &it->second;
}

void CaptureOrchestrator::requestKeyframe(std::uint8_t streamId) {
    std::lock_guard lock(mutex_);
    StreamSession* session = findSession(streamId);
    if (!session || !session->encoder) return;
    session->encoder->requestKeyframe();
    // A still window sends no frame of its own; the keyframe must not wait for one.
    session->capture->requestFrame();
}

// On the capture thread: the client may have shown nothing or an old picture meanwhile.
void CaptureOrchestrator::onCaptureResumed(std::uint8_t streamId, std::uint64_t serial) {
    std::lock_guard lock(mutex_);
    StreamSession* session = findSession(streamId);
    if (session && session->serial == serial && session->encoder) session->encoder->requestKeyframe();
}

void CaptureOrchestrator::setStreamBitrate(std::uint8_t streamId, std::uint32_t bitrateKbps,
                                           std::uint32_t maxBitrateKbps) {
    std::lock_guard lock(mutex_);
    if (StreamSession* session = findSession(streamId); session && session->encoder)
        session->encoder->setBitrate(bitrateKbps, maxBitrateKbps);
}

CodecConfig CaptureOrchestrator::getCodecConfig(std::uint8_t streamId) {
    std::lock_guard lock(mutex_);
    StreamSession* session = findSession(streamId);
    return session && session->encoder ? session->encoder->getCodecConfig() : CodecConfig{};
}

bool CaptureOrchestrator::getStreamResolution(std::uint8_t streamId, std::uint32_t& width,
                                              std::uint32_t& height) {
    std::lock_guard lock(mutex_);
    StreamSession* session = findSession(streamId);
    if (!session) return false;
    width = session->width;
    height = session->height;
    return true;
}

// ---- frame path: the capture thread, under mutex_ throughout ----

void CaptureOrchestrator::onFrameCaptured(std::uint8_t streamId, std::uint64_t serial, const Texture& texture,
                                          std::uint32_t width, std::uint32_t height) {
    const auto arrived = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    StreamSession* session = findSession(streamId);
    if (!session || session->serial != serial || !session->encoder) return;
    if ((width != session->width || height != session->height) &&
        !rebuildEncoder(*session, streamId, width, height))
        return;
    const std::uint64_t attempt = ++encodeAttemptCount;
    const Texture* frame = padFrame(*session, texture);
    if (!frame) return;
    session->encodingArrival = arrived;
    // Encoders read the frame only; the interface predates const textures.
    if (!session->encoder->encodeFrame(const_cast<Texture*>(frame)))
        LV_WARN("Failed to encode frame on stream {} (attempt #{})", unsigned(streamId), attempt);
}

// Any change of the unpadded size rebuilds, even one that pads alike (1000 and 1001 both
// pad to 1008): the client learns the visible size through the callback.
bool CaptureOrchestrator::rebuildEncoder(StreamSession& session, std::uint8_t streamId, std::uint32_t width,
                                         std::uint32_t height) {
    LV_INFO("Resolution changed from {}x{} to {}x{} on stream {} - recreating encoder", session.width,
            session.height, width, height, unsigned(streamId));
    session.encoder->shutdown();
    session.encoder.reset();
    session.paddingTexture.reset();
    setSize(session, width, height);
    LV_INFO("Creating new encoder for {}x{} (padded from {}x{})", session.paddedWidth, session.paddedHeight, width,
            height);
    if (!buildEncoder(session, streamId)) {
        LV_ERROR("Failed to create new encoder for resolution {}x{}", session.paddedWidth, session.paddedHeight);
        return false;
    }
    LV_INFO("Encoder recreated successfully for {}x{} on stream {}", session.paddedWidth, session.paddedHeight,
            unsigned(streamId));
    std::shared_ptr<const ResolutionChangeCallback> callback;
    {
        std::lock_guard settings(settingsMutex_);  // second lock: mutex_ → settingsMutex_
        callback = resolutionChangeCallback_;
    }
    if (callback) (*callback)(streamId, width, height);
    return true;
}

// The frame itself when its size is already a multiple of 16 or the encoder pads in its
// own picture; otherwise the frame copied into the top-left of a black texture of the
// padded size. Null when that cannot be made.
const Texture* CaptureOrchestrator::padFrame(StreamSession& session, const Texture& texture) {
    if (session.width == session.paddedWidth && session.height == session.paddedHeight) return &texture;
    if (session.encoder->acceptsUnpaddedFrames() && texture.width() == session.width &&
        texture.height() == session.height)
        return &texture;
    if (!session.paddingTexture) {
        session.paddingTexture = device_->createTexture(session.paddedWidth, session.paddedHeight, texture.format());
        if (!session.paddingTexture) {
            LV_ERROR("Failed to create padding texture");
            return nullptr;
        }
        // Only the frame's region is overwritten later, so the margin stays black.
        device_->clear(*session.paddingTexture, kOpaqueBlack);
    }
    device_->copyRegion(*session.paddingTexture, 0, 0, texture, 0, 0, session.width, session.height);
    return session.paddingTexture.get();
}

bool CaptureOrchestrator::buildEncoder(StreamSession& session, std::uint8_t streamId) {
    session.encoder = EncoderFactory::createBestEncoder(
        encoders_, device_.get(), encoderConfigFor(session.paddedWidth, session.paddedHeight));
    if (!session.encoder) return false;
    session.encoder->setFrameCallback(
        [this, streamId](const EncodedFrame& frame) { deliverEncodedFrame(streamId, frame); });
    return true;
}

// Inside encodeFrame, so on the capture thread with mutex_ held.
void CaptureOrchestrator::deliverEncodedFrame(std::uint8_t streamId, const EncodedFrame& frame) {
    const StreamSession* session = findSession(streamId);
    const auto arrival = session ? session->encodingArrival : std::chrono::steady_clock::now();
    std::shared_ptr<const EncodedFrameCallback> callback;
    {
        std::lock_guard settings(settingsMutex_);  // second lock: mutex_ → settingsMutex_
        callback = encodedFrameCallback_;
    }
    if (callback) (*callback)(streamId, frame.data, frame.size, frame.isKeyframe, arrival);
}

void CaptureOrchestrator::setSize(StreamSession& session, std::uint32_t width, std::uint32_t height) {
    session.width = width;
    session.height = height;
    session.paddedWidth = paddedSize(width);
    session.paddedHeight = paddedSize(height);
}

// ---- settings, callbacks, queries ----

EncoderConfig CaptureOrchestrator::encoderConfigFor(std::uint32_t paddedWidth, std::uint32_t paddedHeight) const {
    std::lock_guard settings(settingsMutex_);  // may be taken under mutex_
    EncoderConfig config = encoderConfig_;
    config.width = paddedWidth;
    config.height = paddedHeight;
    return config;
}

std::uint32_t CaptureOrchestrator::defaultFps() const {
    std::lock_guard settings(settingsMutex_);  // may be taken under mutex_
    return encoderConfig_.fps;
}

void CaptureOrchestrator::setDefaultBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps) {
    std::lock_guard settings(settingsMutex_);
    encoderConfig_.bitrate = bitrateKbps;
    encoderConfig_.maxBitrate = maxBitrateKbps;
}

void CaptureOrchestrator::setDefaultFps(std::uint32_t fps) {
    std::lock_guard settings(settingsMutex_);
    encoderConfig_.fps = fps;
}

void CaptureOrchestrator::setEncodedFrameCallback(EncodedFrameCallback callback) {
    auto stored = callback ? std::make_shared<const EncodedFrameCallback>(std::move(callback)) : nullptr;
    std::lock_guard settings(settingsMutex_);
    encodedFrameCallback_ = std::move(stored);
}

void CaptureOrchestrator::setResolutionChangeCallback(ResolutionChangeCallback callback) {
    auto stored = callback ? std::make_shared<const ResolutionChangeCallback>(std::move(callback)) : nullptr;
    std::lock_guard settings(settingsMutex_);
    resolutionChangeCallback_ = std::move(stored);
}

std::vector<protocol::WindowInfo> CaptureOrchestrator::getWindowList() {
    return enumerator_ ? enumerator_->enumerateWindows() : std::vector<protocol::WindowInfo>{};
}

}  // namespace lumivane::host
