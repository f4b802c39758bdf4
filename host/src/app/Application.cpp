#include "app/Application.h"

#include "app/HostName.h"
#include "audio/AudioCapture.h"
#include "audio/AudioSource.h"
#include "audio/OpusEncoder.h"
#include "capture/CaptureOrchestrator.h"
#include "input/InputInjector.h"
#include "input/InputSink.h"
#include "core/Logging.h"
#include "network/SignalingServer.h"
#include "network/TcpAudioServer.h"
#include "network/TcpInputServer.h"
#include "network/TcpTransportServer.h"

#include <algorithm>
#include <limits>

namespace lumivane::host {
namespace {

constexpr const char* kFallbackHostName = "Lumivane Host";

}  // namespace

ApplicationServices ApplicationServices::platform() {
    ApplicationServices services;
    services.createOrchestrator = [] { return CaptureOrchestrator::create(); };
    services.createAudioSource = [] { return AudioSource::create(); };
    services.createInputSink = [] { return InputSink::create(); };
    services.hostName = [] { return machineHostName(); };
    return services;
}

Application::Application(ApplicationServices services) : services_(std::move(services)) {
    settings_.resetToDefaults();
}

std::unique_ptr<Application> Application::create() {
    return std::make_unique<Application>(ApplicationServices::platform());
}

Application::~Application() {
    if (running_) {
        shutdown();
        return;
    }
    // After a failed start the members go in reverse order; the audio thread must not
    // outlive the encoder and server it would reach.
    if (audioCapture_) audioCapture_->stop();
}

bool Application::initialize() {
    LV_INFO("Initializing application subsystems...");
    if (!settings_.load()) {
        LV_WARN("Failed to load settings, using defaults");
        settings_.resetToDefaults();
    }
    if (!initializeCapture() || !initializeInput()) return false;
    if (!initializeAudio()) LV_WARN("Audio capture not available");
    if (!initializeServers()) return false;
    installCallbacks();
    startDiscovery();
    logEndpoints();
    running_ = true;
    return true;
}

bool Application::initializeCapture() {
    LV_INFO("Initializing capture system...");
    if (services_.createOrchestrator) captureOrchestrator_ = services_.createOrchestrator();
    if (!captureOrchestrator_ || !captureOrchestrator_->initialize()) {
        LV_ERROR("Failed to initialize capture orchestrator");
        return false;
    }
    LV_INFO("Using {} encoder", captureOrchestrator_->getEncoderName());
    captureOrchestrator_->setDefaultBitrate(settings_.targetBitrate, settings_.maxBitrate);
    captureOrchestrator_->setDefaultFps(settings_.targetFps);
    LV_INFO("Encoder defaults set: {} kbps, {} fps", settings_.targetBitrate, settings_.targetFps);
    gpuName_ = captureOrchestrator_->getGpuName();
    vramMb_ = captureOrchestrator_->getVramMb();
    return true;
}

bool Application::initializeInput() {
    LV_INFO("Initializing input injector...");
    std::unique_ptr<InputSink> sink = services_.createInputSink ? services_.createInputSink() : nullptr;
    auto injector = sink ? std::make_unique<InputInjector>(std::move(sink)) : nullptr;
    if (!injector || !injector->initialize(InputInjectorConfig{true, 1.0f})) {
        LV_ERROR("Failed to initialize input injector");
        return false;
    }
    std::lock_guard<std::mutex> lock(inputMutex_);
    inputInjector_ = std::move(injector);
    return true;
}

bool Application::initializeAudio() {
    LV_INFO("Initializing audio capture...");
    audioCapture_ = std::make_unique<AudioCapture>(services_.createAudioSource ? services_.createAudioSource() : nullptr);
    if (!audioCapture_->initialize(AudioCaptureConfig{48000, 2, 16, true})) {
        LV_WARN("Failed to initialize audio capture");
        audioCapture_.reset();
        return false;
    }
    audioEncoder_ = std::make_unique<OpusAudioEncoder>();
    if (!audioEncoder_->initialize(OpusConfig{48000, 2, 128000, 480, 5, true})) {
        LV_WARN("Failed to initialize Opus encoder");
        audioEncoder_.reset();
        audioCapture_.reset();
        return false;
    }
    const OpusConfig& opus = audioEncoder_->config();
    audioPacketizer_ = std::make_unique<AudioPacketizer>(std::size_t{opus.frameSize} * opus.channels);
    const bool started = audioCapture_->start(
        [this](const std::int16_t* samples, std::uint32_t frames, std::uint32_t rate, std::uint32_t channels) {
            onAudio(samples, frames, rate, channels);
        });
    if (!started) {
        LV_WARN("Failed to start audio capture");
        audioEncoder_.reset();
        audioCapture_.reset();
        return false;
    }
    audioCapturing_ = true;
    LV_INFO("Audio capture started");
    return true;
}

bool Application::initializeServers() {
    LV_INFO("Initializing signaling server on port {}...", settings_.signalingPort);
    signalingServer_ = std::make_unique<SignalingServer>(settings_.signalingPort);
    // A client may say hello before the transports are up: announce the configured ports.
    signalingServer_->setTransportPorts({settings_.videoPort, settings_.audioPort, settings_.inputPort});
    if (!signalingServer_->start()) {
        LV_ERROR("Failed to start signaling server");
        return false;
    }
    // Only the address a client signals from may steer the host, from its first connection
    // on. The transports stop before the signalling server, which so outlives every call.
    const PeerCheck holdsSession = [signaling = signalingServer_.get()](const boost::asio::ip::address& address) {
        return signaling->holdsSession(address);
    };
    LV_INFO("Initializing TCP transport server on port {}...", settings_.videoPort);
    videoServer_ = std::make_unique<TcpTransportServer>(settings_.videoPort);
    videoServer_->setPeerCheck(holdsSession);
    if (!videoServer_->start()) {
        LV_ERROR("Failed to start TCP transport server");
        return false;
    }
    videoServer_->setKeyframeRequestCallback([this](std::uint8_t streamId) { onKeyframeRequest(streamId); });
    LV_INFO("Initializing TCP audio server on port {}...", settings_.audioPort);
    audioServer_ = std::make_unique<TcpAudioServer>(settings_.audioPort);
    audioServer_->setPeerCheck(holdsSession);
    if (!audioServer_->start()) {
        LV_ERROR("Failed to start TCP audio server");
        return false;
    }
    LV_INFO("Initializing TCP input server on port {}...", settings_.inputPort);
    inputServer_ = std::make_unique<TcpInputServer>(settings_.inputPort);
    inputServer_->setPeerCheck(holdsSession);
    if (!inputServer_->start()) {
        LV_ERROR("Failed to start TCP input server");
        return false;
    }
    inputServer_->setInputCallback([this](const InputEvent& event) { onInputEvent(event); });
    signalingServer_->setTransportPorts({videoServer_->port(), audioServer_->port(), inputServer_->port()});
    return true;
}

void Application::startDiscovery() {
    if (!settings_.answerDiscovery) {
        LV_INFO("Discovery answers are off: clients must be given this host's address");
        return;
    }
    LV_INFO("Initializing discovery responder on port {}...", services_.discoveryPort);
    std::string name = services_.hostName ? services_.hostName() : std::string();
    if (name.empty()) name = kFallbackHostName;
    discoveryResponder_ =
        std::make_unique<DiscoveryResponder>(std::move(name), signalingServer_->port(), services_.discoveryPort);
    if (!discoveryResponder_->start()) LV_WARN("Failed to start discovery responder - clients must connect manually");
}

void Application::logEndpoints() const {
    const ListeningPorts ports = getListeningPorts();
    LV_INFO("All subsystems initialized successfully");
    LV_INFO("Signaling: ws://localhost:{}", ports.signaling);
    LV_INFO("Video:     tcp://localhost:{}", ports.video);
    LV_INFO("Audio:     tcp://localhost:{}", ports.audio);
    LV_INFO("Input:     tcp://localhost:{}", ports.input);
    LV_INFO("Discovery: udp://broadcast:{}", ports.discovery);
}

ListeningPorts Application::getListeningPorts() const {
    ListeningPorts ports;
    if (signalingServer_) ports.signaling = signalingServer_->port();
    if (videoServer_) ports.video = videoServer_->port();
    if (audioServer_) ports.audio = audioServer_->port();
    if (inputServer_) ports.input = inputServer_->port();
    ports.discovery = discoveryResponder_ ? discoveryResponder_->port() : services_.discoveryPort;
    return ports;
}

void Application::shutdown() {
    LV_INFO("Shutting down application...");
    running_.exchange(false);
    audioCapturing_ = false;
    audioStream_.store(0);
    if (audioCapture_) {
        audioCapture_->stop();
        audioCapture_.reset();
    }
    if (audioEncoder_) {
        audioEncoder_->shutdown();
        audioEncoder_.reset();
    }
    // The transports stop before the signalling server whose sessions they ask about.
    if (audioServer_) audioServer_->stop();
    if (videoServer_) videoServer_->stop();
    if (inputServer_) inputServer_->stop();
    if (signalingServer_) signalingServer_->stop();
    if (captureOrchestrator_) {
        captureOrchestrator_->shutdown();
        captureOrchestrator_.reset();
    }
    // Destroyed only now: until the orchestrator has stopped, capture threads still hand
    // frames to them (a stopped server drops them).
    videoServer_.reset();
    signalingServer_.reset();
    if (discoveryResponder_) {
        discoveryResponder_->stop();
        discoveryResponder_.reset();
    }
    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        inputInjector_.reset();
    }
    LV_INFO("Application shutdown complete");
}

void Application::update() {
    if (captureOrchestrator_) captureOrchestrator_->update();
    if (signalingServer_) signalingServer_->update();
    endFinishedStreams();
}

// The orchestrator drops streams whose window went; their latency summary is logged here,
// about a second later. The stream ids are few, and each check takes the orchestrator's
// lock only briefly.
void Application::endFinishedStreams() {
    if (!captureOrchestrator_ || !videoServer_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastStreamCheck_ < std::chrono::seconds(1)) return;
    lastStreamCheck_ = now;
    const auto live = videoServer_->liveStreams();
    for (std::size_t id = 0; id < live.size(); ++id) {
        std::uint32_t width = 0, height = 0;
        const auto streamId = static_cast<std::uint8_t>(id);
        if (live[id] && !captureOrchestrator_->getStreamResolution(streamId, width, height))
            videoServer_->endStream(streamId);
    }
}

bool Application::startCapture(std::uint32_t windowId, std::uint8_t streamId) {
    if (!captureOrchestrator_) {
        LV_ERROR("Capture orchestrator not initialized");
        return false;
    }
    if (!captureOrchestrator_->startCapture(windowId, streamId)) return false;
    LV_INFO("Started capture for window {} on stream {}", windowId, streamId);
    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        if (inputInjector_) inputInjector_->setTargetWindow(windowId);
    }
    maybeStartAudioStream(streamId);
    return true;
}

void Application::stopCapture(std::uint8_t streamId) {
    if (!captureOrchestrator_) return;
    captureOrchestrator_->stopCapture(streamId);
    LV_INFO("Stopped capture for stream {}", streamId);
    if (videoServer_) videoServer_->endStream(streamId);
    std::uint16_t streaming = kAudioStreaming | streamId;
    audioStream_.compare_exchange_strong(streaming, 0);
}

void Application::maybeStartAudioStream(std::uint8_t streamId) {
    if (!audioCapturing_) return;
    std::uint16_t idle = audioStream_.load();
    // Only the first stream started while no audio streams becomes the audio stream.
    while (!(idle & kAudioStreaming)) {
        if (audioStream_.compare_exchange_weak(idle, static_cast<std::uint16_t>(kAudioStreaming | streamId))) return;
    }
}

bool Application::applySettings(std::uint32_t targetBitrateKbps, std::uint32_t maxBitrateKbps,
                                std::uint32_t targetFps) {
    LV_INFO("Applying settings: bitrate={} kbps, maxBitrate={} kbps, fps={}", targetBitrateKbps, maxBitrateKbps,
            targetFps);
    {
        std::lock_guard<std::mutex> bitrateLock(bitrateMutex_);
        StreamIds ids;
        {
            // Second lock: bitrateMutex_ -> streamsMutex_.
            std::lock_guard<std::mutex> lock(streamsMutex_);
            settings_.targetBitrate = targetBitrateKbps;
            settings_.maxBitrate = maxBitrateKbps;
            settings_.targetFps = targetFps;
            adaptiveBitrate_.reset(targetBitrateKbps);
            ids = clientStreamIds();
        }
        if (captureOrchestrator_) {
            captureOrchestrator_->setDefaultBitrate(targetBitrateKbps, maxBitrateKbps);
            captureOrchestrator_->setDefaultFps(targetFps);
            // Orchestrator lock taken with bitrateMutex_ held, never with streamsMutex_.
            for (std::size_t i = 0; i < ids.count; ++i)
                captureOrchestrator_->setStreamBitrate(ids.ids[i], targetBitrateKbps, maxBitrateKbps);
        }
    }
    return settings_.save();
}

Application::StreamIds Application::clientStreamIds() const {
    StreamIds ids;
    for (const auto& entry : streamWindows_) ids.ids[ids.count++] = entry.first;
    return ids;
}

void Application::handleResolutionChange(std::uint8_t streamId, std::uint32_t width, std::uint32_t height) {
    LV_INFO("Resolution changed for stream {}: {}x{}", streamId, width, height);
    {
        // Runs inside the orchestrator's lock: orchestrator lock -> streamsMutex_.
        std::lock_guard<std::mutex> lock(streamsMutex_);
        streamConfigSent_[streamId] = false;
    }
    if (captureOrchestrator_) captureOrchestrator_->requestKeyframe(streamId);
}

bool Application::handleWindowResize(std::uint32_t windowId, std::uint32_t width, std::uint32_t height) {
    LV_INFO("Client-initiated window resize: window={:x}, size={}x{}", windowId, width, height);
    std::lock_guard<std::mutex> lock(inputMutex_);
    if (!inputInjector_ || !inputInjector_->isWindow(windowId)) {
        LV_ERROR("Invalid window ID for resize: {:x}", windowId);
        return false;
    }
    constexpr std::uint32_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    const bool resized = inputInjector_->resizeWindow(windowId, static_cast<std::int32_t>(std::min(width, kMaxSide)),
                                                      static_cast<std::int32_t>(std::min(height, kMaxSide)), true);
    if (resized) {
        LV_INFO("Window {:x} resized successfully to {}x{}", windowId, width, height);
    } else {
        LV_ERROR("Failed to resize window {:x} to {}x{}", windowId, width, height);
    }
    return resized;
}

bool Application::isClientConnected() const { return signalingServer_ && signalingServer_->getClientCount() != 0; }

std::vector<protocol::WindowInfo> Application::getWindowList() const {
    return captureOrchestrator_ ? captureOrchestrator_->getWindowList() : std::vector<protocol::WindowInfo>{};
}

std::string Application::getEncoderName() const {
    return captureOrchestrator_ ? captureOrchestrator_->getEncoderName() : "None";
}

ClientStatistics Application::getClientStatistics() const {
    // Read every time, so a client's first second is not averaged over the idle time before.
    const VideoSendStatistics::Rate rate = videoStatistics_.rate(services_.now());
    ClientStatistics status;
    status.connected = isClientConnected();
    if (!status.connected) return status;
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        status.clientName = clientName_.empty() ? "Meta Quest" : clientName_;
        status.clientAddress = clientAddress_;
    }
    status.fps = rate.fps;
    status.bitrateMbps = rate.mbps;
    status.latencyMs = static_cast<float>(lastRttMs_.load());
    return status;
}

}  // namespace lumivane::host
