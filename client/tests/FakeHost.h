#pragma once
// The host's real network servers on ephemeral loopback ports, with a feeder per stream
// that plays the application's part: encoded frames (software H.264), stream_config
// before the keyframes that need it, and, from the first stream, Opus audio of a 440 Hz
// tone. The editor's picture is red on the left and blue on the right, the terminal's
// green all over.

#include "ClientOptions.h"
#include "network/ClientFeedback.h"
#include "network/ClientInput.h"
#include "network/InputEvent.h"
#include "network/SignalingServer.h"
#include "network/TcpAudioServer.h"
#include "network/TcpInputServer.h"
#include "network/TcpTransportServer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lumivane::client::test {

inline constexpr std::uint32_t kEditorId = 0x10;
inline constexpr std::uint32_t kTerminalId = 0x20;
inline constexpr std::uint32_t kWidth = 320, kHeight = 240;
inline constexpr double kToneHz = 440.0;

struct HostBehaviour {
    bool refuseStreams = false;
    bool sendConfig = true;          // before the first keyframe
    bool sendConfigOnResize = true;  // before the first keyframe at a new size
    bool acceptResize = true;
};

struct ResizeRequest {
    std::uint32_t windowId, width, height;
};

class FakeHost {
public:
    explicit FakeHost(HostBehaviour behaviour = {});
    ~FakeHost();

    // Options of a client pointed at this host.
    ClientOptions clientOptions(Command command) const;

    std::vector<host::ClientFeedback> feedback() const;
    std::vector<host::InputEvent> inputEvents() const;
    std::vector<host::ClientInput> videoInputs() const;
    std::vector<ResizeRequest> resizes() const;
    std::vector<std::uint8_t> stoppedStreams() const;
    int streamStarts() const { return streamStarts_.load(); }
    std::uint16_t videoPort() const { return video_.port(); }

private:
    struct Feeder {
        std::uint32_t windowId = 0;
        bool audio = false;
        bool stop = false;  // guarded by mutex_
        std::thread thread;
    };

    void installCallbacks();
    void startFeeder(std::uint32_t windowId, std::uint8_t streamId);
    void stopFeeders();
    void feed(std::uint8_t streamId, Feeder& feeder);

    HostBehaviour behaviour_;
    host::SignalingServer signalling_{0};
    host::TcpTransportServer video_{0};
    host::TcpAudioServer audio_{0};
    host::TcpInputServer input_{0};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> pendingSizes_;  // by window
    std::vector<host::ClientFeedback> feedback_;
    std::vector<host::InputEvent> inputEvents_;
    std::vector<host::ClientInput> videoInputs_;
    std::vector<ResizeRequest> resizes_;
    std::vector<std::uint8_t> stopped_;
    std::atomic<int> streamStarts_{0};
    std::atomic<bool> keyframeWanted_{false};
    // By stream id; each thread is joined by stopFeeders (or when its id starts again).
    std::map<std::uint8_t, std::unique_ptr<Feeder>> feeders_;
};

}  // namespace lumivane::client::test
