#pragma once
// Video to the one connected client; feedback, input and keyframe requests back from it.

#include "network/ClientFeedback.h"
#include "network/ClientInput.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivane::host {

// Pure drop rule, kept apart so it can be checked without a stalled socket.
enum class FrameDrop { Send, Stalled, QueueFull };
FrameDrop decideFrameDrop(std::int64_t elapsedMs, std::int32_t pendingFrames, bool isKeyframe);

class TcpTransportServer {
public:
    static constexpr std::uint32_t kMaxMessageLength = 4194304;
    static constexpr int kSendTimeoutMs = 20000;

    explicit TcpTransportServer(std::uint16_t port);
    ~TcpTransportServer();
    TcpTransportServer(const TcpTransportServer&) = delete;
    TcpTransportServer& operator=(const TcpTransportServer&) = delete;

    bool start();
    void stop();
    // Runs ready handlers on the caller's thread without blocking.
    void update();
    // The bound port once started (the real one when constructed with 0).
    std::uint16_t port() const { return port_.load(); }

    // Safe from several threads at once; blocks until the kernel took the packet or time-out.
    // data is borrowed for the call only. True when the whole packet went to the socket.
    bool sendVideoFrame(std::uint8_t streamId, const std::uint8_t* data, std::size_t size, bool isKeyframe);
    bool isClientConnected() const;

    // May be set at any time; callbacks run on the I/O thread or inside update().
    void setFeedbackCallback(std::function<void(const ClientFeedback&)> callback);
    void setInputCallback(std::function<void(const ClientInput&)> callback);
    void setKeyframeRequestCallback(std::function<void(std::uint8_t)> callback);

    std::int32_t pendingFrames() const { return pendingFrames_.load(); }
    std::int64_t pendingBytes() const { return pendingBytes_.load(); }

private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    void startAccept();
    void handleNewConnection(const ConnectionPtr& connection);
    void configureSocket(boost::asio::ip::tcp::socket& socket);
    void startRead(const ConnectionPtr& connection);
    void onHeader(const ConnectionPtr& connection, const boost::system::error_code& ec);
    void onBody(const ConnectionPtr& connection, const boost::system::error_code& ec);
    void dispatch(const std::vector<std::uint8_t>& body);
    void closeIfCurrent(const ConnectionPtr& connection);
    bool shouldDropFrame(std::uint8_t streamId, bool isKeyframe);
    void addPending(std::int64_t bytes);
    void removePending(std::int64_t bytes);
    void requestKeyframe(std::uint8_t streamId);

    std::atomic<std::uint16_t> port_;
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    ConnectionPtr client_;
    std::atomic<bool> clientConnected_{false};  // mirrors client_, written under clientMutex_
    std::thread ioThread_;
    mutable std::mutex clientMutex_;
    std::atomic<bool> running_{false};
    std::uint16_t packetSequence_ = 0;  // guarded by clientMutex_
    std::atomic<std::int32_t> pendingFrames_{0};
    std::atomic<std::int64_t> pendingBytes_{0};
    std::atomic<std::chrono::steady_clock::rep> stallClock_{0};

    std::mutex callbackMutex_;
    std::function<void(const ClientFeedback&)> feedbackCallback_;
    std::function<void(const ClientInput&)> inputCallback_;
    std::function<void(std::uint8_t)> keyframeCallback_;
};

}  // namespace lumivane::host
