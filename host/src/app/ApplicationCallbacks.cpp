// The Application's callbacks: how each subsystem's events reach the others.
//
// Threads: stream request/stop, hello, resize and signalling keyframe requests run on the
// signalling thread (or the main thread polling it); feedback, video-connection input and
// keyframe requests on the video server's thread (or the main thread); input-connection
// events on the input server's thread; encoded frames and resolution changes on a stream's
// capture thread with the orchestrator's lock held; audio on the audio capture thread.

#include "app/Application.h"

#include "core/Base64.h"
#include "app/InputDispatch.h"
#include "audio/OpusEncoder.h"
#include "capture/CaptureOrchestrator.h"
#include "input/InputInjector.h"
#include "core/Loggable.h"
#include "core/Logging.h"
#include "network/DeliveryGate.h"
#include "network/SignalingServer.h"
#include "network/TcpAudioServer.h"
#include "network/TcpInputServer.h"
#include "network/TcpTransportServer.h"

namespace lumivane::host {

void Application::installCallbacks() {
    signalingServer_->setWindowListCallback([this] { return getWindowList(); });
    signalingServer_->setStreamStartCallback(
        [this](std::uint32_t windowId, std::uint8_t streamId) { return onStreamRequest(windowId, streamId); });
    signalingServer_->setStreamStopCallback([this](std::uint8_t streamId) { onStreamStop(streamId); });
    signalingServer_->setWindowResizeCallback([this](std::uint32_t windowId, std::uint32_t width,
                                                     std::uint32_t height) {
        return handleWindowResize(windowId, width, height);
    });
    signalingServer_->setKeyframeRequestCallback([this](std::uint8_t streamId) { onKeyframeRequest(streamId); });
    signalingServer_->setClientHelloCallback([this](const std::string& address) { onClientHello(address); });
    signalingServer_->setClientNameCallback(
        [this](const std::string& address, const std::string& name) { onClientName(address, name); });
    captureOrchestrator_->setEncodedFrameCallback(
        [this](std::uint8_t streamId, const std::uint8_t* data, std::size_t size, bool keyframe,
               std::chrono::steady_clock::time_point arrival) {
            onEncodedFrame(streamId, data, size, keyframe, arrival);
        });
    captureOrchestrator_->setResolutionChangeCallback(
        [this](std::uint8_t streamId, std::uint32_t width, std::uint32_t height) {
            handleResolutionChange(streamId, width, height);
        });
    videoServer_->setFeedbackCallback([this](const ClientFeedback& feedback) { onFeedback(feedback); });
    videoServer_->setInputCallback([this](const ClientInput& input) { onClientInput(input); });
    videoServer_->setFrameSentCallback([this](std::size_t bytes) { videoStatistics_.countSent(bytes); });
}

bool Application::onStreamRequest(std::uint32_t windowId, std::uint8_t streamId) {
    LV_INFO("Stream request: windowId={:x}, streamId={}", windowId, streamId);
    // Recorded before the capture starts: its first keyframe may be delivered before
    // startCapture returns, and must find the stream waiting for its stream_config.
    std::optional<bool> previousSent;
    std::optional<std::uint32_t> previousWindow;
    {
        std::lock_guard<std::mutex> lock(streamsMutex_);
        if (auto it = streamConfigSent_.find(streamId); it != streamConfigSent_.end()) previousSent = it->second;
        if (auto it = streamWindows_.find(streamId); it != streamWindows_.end()) previousWindow = it->second;
        streamConfigSent_[streamId] = false;
        streamWindows_[streamId] = windowId;
    }
    if (!captureOrchestrator_->startCapture(windowId, streamId)) {
        LV_ERROR("Failed to start capture for window {:x}", windowId);
        std::lock_guard<std::mutex> lock(streamsMutex_);
        if (previousSent) streamConfigSent_[streamId] = *previousSent; else streamConfigSent_.erase(streamId);
        if (previousWindow) streamWindows_[streamId] = *previousWindow; else streamWindows_.erase(streamId);
        return false;
    }
    LV_INFO("Capture started for window {:x} on stream {}", windowId, streamId);
    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        if (inputInjector_) inputInjector_->setTargetWindow(windowId);
    }
    maybeStartAudioStream(streamId);
    return true;
}

void Application::onStreamStop(std::uint8_t streamId) {
    LV_INFO("Client requested to stop stream {}", streamId);
    stopCapture(streamId);
    std::lock_guard<std::mutex> lock(streamsMutex_);
    streamConfigSent_.erase(streamId);
    streamWindows_.erase(streamId);
}

void Application::onClientHello(const std::string& peerAddress) {
    LV_INFO("Client connected from {} (TCP video port: {})", peerAddress, settings_.videoPort);
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        clientAddress_ = peerAddress;
        clientName_.clear();
    }
    lastRttMs_.store(0);  // a new client has measured nothing yet
}

void Application::onClientName(const std::string& peerAddress, const std::string& name) {
    LV_INFO("Client at {} is \"{}\"", peerAddress, loggable(name));
    std::lock_guard<std::mutex> lock(clientMutex_);
    if (peerAddress == clientAddress_) clientName_ = name;
}

void Application::onKeyframeRequest(std::uint8_t streamId) {
    if (captureOrchestrator_) captureOrchestrator_->requestKeyframe(streamId);
}

// A frame thread, inside the orchestrator's lock: nothing here waits on a peer.
void Application::onEncodedFrame(std::uint8_t streamId, const std::uint8_t* data, std::size_t size, bool keyframe,
                                 std::chrono::steady_clock::time_point arrival) {
    std::shared_ptr<DeliveryGate> configWritten;
    if (keyframe) configWritten = sendStreamConfigIfDue(streamId);
    videoServer_->sendVideoFrame(streamId, data, size, keyframe, arrival, std::move(configWritten));
    if (const auto totals = videoStatistics_.countFrame(keyframe)) {
        LV_INFO("Stream {} stats: {} frames, {} keyframes sent", streamId, totals->frames, totals->keyframes);
    }
}

// The gate of the stream_config sent now, which the video queue holds this keyframe for;
// null when none was due.
std::shared_ptr<DeliveryGate> Application::sendStreamConfigIfDue(std::uint8_t streamId) {
    // Inside the orchestrator's lock: orchestrator lock -> streamsMutex_. The
    // orchestrator calls below re-enter its lock on this thread.
    std::lock_guard<std::mutex> lock(streamsMutex_);
    const auto due = streamConfigSent_.find(streamId);
    if (due == streamConfigSent_.end() || due->second) return nullptr;
    const CodecConfig codec = captureOrchestrator_->getCodecConfig(streamId);
    if (!codec.valid) return nullptr;  // tried again with the next keyframe

    protocol::StreamConfigMessage config;
    config.streamId = streamId;
    if (!captureOrchestrator_->getStreamResolution(streamId, config.width, config.height)) {
        config.width = 0;
        config.height = 0;
    }
    const auto window = streamWindows_.find(streamId);
    config.windowId = window != streamWindows_.end() ? window->second : 0;
    config.codec = "video/avc";
    config.sps = base64Encode(codec.sps);
    config.pps = base64Encode(codec.pps);
    config.targetBitrate = settings_.targetBitrate;
    config.targetFps = settings_.targetFps;
    LV_INFO("Sending stream_config for stream {}: {}x{}, SPS={}B, PPS={}B", streamId, config.width, config.height,
            codec.sps.size(), codec.pps.size());
    due->second = true;
    return signalingServer_->sendStreamConfig(config);
}

void Application::onFeedback(const ClientFeedback& feedback) {
    const auto now = services_.now();  // before the round trip is published, for tests that step the clock
    lastRttMs_.store(feedback.rttMs);
    if (!captureOrchestrator_) return;
    std::lock_guard<std::mutex> bitrateLock(bitrateMutex_);
    std::optional<AdaptiveBitrate::Change> change;
    StreamIds ids;
    {
        // Second lock: bitrateMutex_ -> streamsMutex_.
        std::lock_guard<std::mutex> lock(streamsMutex_);
        change = adaptiveBitrate_.onFeedback(feedback.decodeMs, feedback.rttMs, settings_.targetBitrate, now);
        if (!change) return;
        ids = clientStreamIds();
    }
    if (change->congestion) {
        LV_WARN("Network congestion (RTT={}ms, decode={}ms), reducing bitrate {} -> {} kbps", feedback.rttMs,
                feedback.decodeMs, change->fromKbps, change->toKbps);
    }
    // Orchestrator lock taken with bitrateMutex_ held, never with streamsMutex_.
    for (std::size_t i = 0; i < ids.count; ++i)
        captureOrchestrator_->setStreamBitrate(ids.ids[i], change->toKbps, AdaptiveBitrate::maxFor(change->toKbps));
}

void Application::aimInput(std::uint8_t streamId, bool warnUnknown) {
    std::optional<std::uint32_t> window;
    {
        // Second lock: inputMutex_ -> streamsMutex_.
        std::lock_guard<std::mutex> lock(streamsMutex_);
        if (const auto it = streamWindows_.find(streamId); it != streamWindows_.end()) window = it->second;
    }
    if (window) {
        inputInjector_->setTargetWindow(*window);
    } else if (warnUnknown) {
        LV_WARN("Input received for unknown stream {}", streamId);
    }
}

void Application::onInputEvent(const InputEvent& event) {
    std::lock_guard<std::mutex> lock(inputMutex_);
    if (!inputInjector_) return;
    aimInput(event.streamId, false);
    dispatchInputEvent(*inputInjector_, event);
}

void Application::onClientInput(const ClientInput& input) {
    std::lock_guard<std::mutex> lock(inputMutex_);
    if (!inputInjector_) return;
    aimInput(input.streamId, true);
    inputInjector_->processEvent(
        InjectorEvent{input.type, input.action, input.x, input.y, input.code, input.modifiers, input.wheelDelta});
}

void Application::onAudio(const std::int16_t* samples, std::uint32_t frameCount, std::uint32_t, std::uint32_t channels) {
    const std::uint16_t stream = audioStream_.load();
    if (!(stream & kAudioStreaming) || !audioEncoder_ || !audioServer_) return;
    const auto streamId = static_cast<std::uint8_t>(stream & 0xFF);
    const int frameSize = static_cast<int>(audioEncoder_->config().frameSize);
    audioPacketizer_->push(samples, std::size_t{frameCount} * channels, [&](const std::int16_t* packet) {
        const std::vector<std::uint8_t> opus = audioEncoder_->encode(packet, frameSize);
        if (!opus.empty()) audioServer_->sendAudioData(streamId, opus.data(), opus.size());
    });
}

}  // namespace lumivane::host
