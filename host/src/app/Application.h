#pragma once
// Owns every streaming subsystem, starts them in order, wires them together through
// callbacks and stops them again. Driven by the entry module on the main thread; the
// callbacks run on the subsystems' threads (see ApplicationCallbacks.cpp).

#include "app/AdaptiveBitrate.h"
#include "app/AudioPacketizer.h"
#include "app/ClientStatistics.h"
#include "app/Settings.h"
#include "app/VideoSendStatistics.h"
#include "core/WindowInfo.h"
#include "network/ClientFeedback.h"
#include "network/ClientInput.h"
#include "network/DiscoveryResponder.h"
#include "network/InputEvent.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace lumivane::host {

class AudioCapture;
class AudioSource;
class CaptureOrchestrator;
class DeliveryGate;
class InputInjector;
class InputSink;
class OpusAudioEncoder;
class SignalingServer;
class TcpAudioServer;
class TcpInputServer;
class TcpTransportServer;

// Where the application gets its collaborators: the platform's real ones, or fakes.
struct ApplicationServices {
    std::function<std::unique_ptr<CaptureOrchestrator>()> createOrchestrator;
    std::function<std::unique_ptr<AudioSource>()> createAudioSource;
    std::function<std::unique_ptr<InputSink>()> createInputSink;  // null: no input possible
    std::function<std::string()> hostName;
    std::uint16_t discoveryPort = DiscoveryResponder::kDefaultPort;  // 0 in tests: never the shared one
    std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };

    static ApplicationServices platform();
};

// The ports the servers really listen on (the settings' ones unless those were 0).
struct ListeningPorts {
    std::uint16_t signaling = 0;
    std::uint16_t video = 0;
    std::uint16_t audio = 0;
    std::uint16_t input = 0;
    std::uint16_t discovery = 0;
};

class Application {
public:
    explicit Application(ApplicationServices services);
    // With the platform's real collaborators.
    static std::unique_ptr<Application> create();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    bool initialize();
    void shutdown();
    void update();

    // Dashboard-started streams: no stream_config, no bitrate steering.
    bool startCapture(std::uint32_t windowId, std::uint8_t streamId);
    void stopCapture(std::uint8_t streamId);
    bool applySettings(std::uint32_t targetBitrateKbps, std::uint32_t maxBitrateKbps, std::uint32_t targetFps);
    void handleResolutionChange(std::uint8_t streamId, std::uint32_t width, std::uint32_t height);
    bool handleWindowResize(std::uint32_t windowId, std::uint32_t width, std::uint32_t height);

    bool isClientConnected() const;
    std::vector<protocol::WindowInfo> getWindowList() const;
    std::string getEncoderName() const;
    // Measured over the last second.
    ClientStatistics getClientStatistics() const;

    // Written on the main thread only (initialize, applySettings).
    const Settings& getSettings() const { return settings_; }
    const std::string& getGpuName() const { return gpuName_; }
    std::uint64_t getVramMb() const { return vramMb_; }
    ListeningPorts getListeningPorts() const;

private:
    bool initializeCapture();
    bool initializeInput();
    bool initializeAudio();
    bool initializeServers();
    void installCallbacks();
    void startDiscovery();
    void logEndpoints() const;

    // Callbacks; see ApplicationCallbacks.cpp for their threads.
    bool onStreamRequest(std::uint32_t windowId, std::uint8_t streamId);
    void onStreamStop(std::uint8_t streamId);
    void onClientHello(const std::string& peerAddress);
    void onClientName(const std::string& peerAddress, const std::string& name);
    void onKeyframeRequest(std::uint8_t streamId);
    void onEncodedFrame(std::uint8_t streamId, const std::uint8_t* data, std::size_t size, bool keyframe,
                        std::chrono::steady_clock::time_point arrival);
    void onFeedback(const ClientFeedback& feedback);
    void onInputEvent(const InputEvent& event);
    void onClientInput(const ClientInput& input);
    void onAudio(const std::int16_t* samples, std::uint32_t frameCount, std::uint32_t sampleRate,
                 std::uint32_t channels);

    std::shared_ptr<DeliveryGate> sendStreamConfigIfDue(std::uint8_t streamId);
    void endFinishedStreams();
    void maybeStartAudioStream(std::uint8_t streamId);
    void aimInput(std::uint8_t streamId, bool warnUnknown);

    // The client streams' ids, copied so the orchestrator can be called without streamsMutex_.
    struct StreamIds {
        std::array<std::uint8_t, 256> ids{};
        std::size_t count = 0;
    };
    StreamIds clientStreamIds() const;  // streamsMutex_ held

    ApplicationServices services_;

    Settings settings_;
    std::unique_ptr<CaptureOrchestrator> captureOrchestrator_;
    std::unique_ptr<AudioCapture> audioCapture_;
    std::unique_ptr<OpusAudioEncoder> audioEncoder_;
    std::unique_ptr<InputInjector> inputInjector_;  // replaced only under inputMutex_
    std::unique_ptr<SignalingServer> signalingServer_;
    std::unique_ptr<TcpTransportServer> videoServer_;
    std::unique_ptr<TcpAudioServer> audioServer_;
    std::unique_ptr<TcpInputServer> inputServer_;
    std::unique_ptr<DiscoveryResponder> discoveryResponder_;

    std::unique_ptr<AudioPacketizer> audioPacketizer_;  // audio thread only once capture runs
    std::atomic<bool> running_{false};
    // The audio stream's id in the low byte and kAudioStreaming when audio is sent, in one
    // word so the first stream to start claims it atomically.
    static constexpr std::uint16_t kAudioStreaming = 0x100;
    std::atomic<std::uint16_t> audioStream_{0};
    // Mirrors the capture running, for the signalling thread: audioCapture_ itself is
    // released by shutdown before the signalling server stops.
    std::atomic<bool> audioCapturing_{false};
    std::string gpuName_;
    std::uint64_t vramMb_ = 0;

    // Guards the two maps, the adaptive bitrate and the three settings applySettings changes.
    // Taken inside the orchestrator's lock by the frame path, so it is never held while
    // calling into the orchestrator's stream control or waiting on another thread.
    std::mutex streamsMutex_;
    std::unordered_map<std::uint8_t, bool> streamConfigSent_;
    std::unordered_map<std::uint8_t, std::uint32_t> streamWindows_;
    AdaptiveBitrate adaptiveBitrate_;

    // Serialises whole bitrate changes (decision and the encoders' update) so the encoders
    // end at the last value decided. Order: bitrateMutex_ -> streamsMutex_, and
    // bitrateMutex_ -> orchestrator lock; nothing holding either of those takes it.
    std::mutex bitrateMutex_;

    // Serialises every call into the injector (two input connections, stream starts,
    // resizes). Order: inputMutex_ -> streamsMutex_.
    std::mutex inputMutex_;

    VideoSendStatistics videoStatistics_;
    // Main thread: when update() last looked for streams the orchestrator dropped.
    std::chrono::steady_clock::time_point lastStreamCheck_;
    std::atomic<std::uint16_t> lastRttMs_{0};
    mutable std::mutex clientMutex_;  // leaf: the client's address and name
    std::string clientAddress_;
    std::string clientName_;
};

}  // namespace lumivane::host
