#pragma once
// WebSocket signalling server: the face the application owns.

#include "core/WindowInfo.h"
#include "network/DeliveryGate.h"
#include "network/SignalingProtocol.h"

#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumivane::host {

class SignalingServerImpl;

// Handlers run on the server's I/O thread or on the thread calling update().
struct SignalingCallbacks {
    std::function<std::vector<protocol::WindowInfo>()> windowList;
    std::function<bool(std::uint32_t windowId, std::uint8_t streamId)> streamStart;
    std::function<void(std::uint8_t streamId)> streamStop;
    std::function<void(const std::string& peerAddress)> clientHello;
    std::function<bool(std::uint32_t windowId, std::uint32_t width, std::uint32_t height)> windowResize;
    std::function<void(std::uint8_t streamId)> keyframeRequest;
    std::function<void(const std::string& peerAddress, const std::string& name)> clientName;
};

// The ports announced in "welcome": where the transports really listen.
struct TransportPorts {
    std::uint32_t video = protocol::kDefaultVideoPort;
    std::uint32_t audio = protocol::kDefaultAudioPort;
    std::uint32_t input = protocol::kDefaultInputPort;
};

// What one peer may cost the host. Tests shorten the times.
struct SignalingLimits {
    // The largest real message (a hello with its name) is a few hundred bytes.
    std::size_t maxMessageBytes = 8 * 1024;
    // A household has a few headsets; more sessions than this are a flood.
    std::size_t maxSessions = 32;
    // A reconnecting headset may hold its old sessions for a while beside the new one.
    std::size_t maxSessionsPerAddress = 8;
    // A real client upgrades in one round trip; a connection that does not only holds a
    // descriptor.
    std::chrono::milliseconds upgradeDeadline{5000};
    // Silent this long, a session is pinged at half of it and closed at the end unless the
    // peer answered: a vanished headset leaves no half-open session behind.
    std::chrono::milliseconds idleTimeout{30000};
    // Replies waiting for a peer that does not read; beyond either it is disconnected.
    // A window list with icons is the largest reply, well under the byte bound.
    std::size_t maxQueuedBytes = 2 * 1024 * 1024;
    std::size_t maxQueuedMessages = 256;
};

class SignalingServer {
public:
    // Port 0 picks a free port; port() then reports it.
    explicit SignalingServer(std::uint16_t port, SignalingLimits limits = {});
    ~SignalingServer();
    SignalingServer(const SignalingServer&) = delete;
    SignalingServer& operator=(const SignalingServer&) = delete;

    bool start();
    void stop();
    // Runs ready handlers on the calling thread without blocking.
    void update();

    std::uint16_t port() const;
    std::size_t getClientCount() const;
    // Whether an upgraded session from this address is open: the data connections, input, feedback
    // and keyframe requests of a client are accepted only from such an address.
    bool holdsSession(const boost::asio::ip::address& address) const;

    // Broadcasts the config to every connected client. The gate opens once every client
    // connected at the call has had the message handed to its socket (or failed); it is
    // not delivered if any write failed. With no client it is open at once. The video
    // queue holds the keyframe that needs the config until then, so no frame thread waits.
    std::shared_ptr<DeliveryGate> sendStreamConfig(const protocol::StreamConfigMessage& config);

    // Safe at any time, also while the server runs: each replaces the earlier one.
    void setWindowListCallback(std::function<std::vector<protocol::WindowInfo>()> callback);
    void setStreamStartCallback(std::function<bool(std::uint32_t, std::uint8_t)> callback);
    void setStreamStopCallback(std::function<void(std::uint8_t)> callback);
    void setWindowResizeCallback(std::function<bool(std::uint32_t, std::uint32_t, std::uint32_t)> callback);
    void setKeyframeRequestCallback(std::function<void(std::uint8_t)> callback);
    void setClientHelloCallback(std::function<void(const std::string&)> callback);
    // After the hello callback, when "hello" carries a string "name" (cut to 64 bytes).
    void setClientNameCallback(std::function<void(const std::string& peerAddress, const std::string& name)> callback);
    void setTransportPorts(const TransportPorts& ports);

private:
    std::shared_ptr<SignalingServerImpl> impl_;
};

}  // namespace lumivane::host
