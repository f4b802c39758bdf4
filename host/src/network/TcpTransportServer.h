#pragma once
// Video to the one connected client; feedback, input and keyframe requests back from it.
//
// Threads: sendVideoFrame is called on frame threads and only queues; this server's I/O
// thread does all socket work (accept, read, write) and runs the feedback, input and
// keyframe-request callbacks. A frame thread may also run the keyframe-request callback,
// from inside sendVideoFrame, when the queue rules drop one of its frames.

#include "network/ClientFeedback.h"
#include "network/ClientInput.h"
#include "network/DeliveryGate.h"
#include "network/IoWake.h"
#include "network/TcpListener.h"
#include "network/TcpServerSupport.h"
#include "network/VideoSendQueue.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace lumivane::host {

struct ControlMessage;
class PacketSocket;

class TcpTransportServer {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::uint32_t kMaxMessageLength = 4194304;
    // A client that takes no byte for this long is gone; its connection is closed.
    static constexpr std::chrono::milliseconds kSendTimeout{20000};

    explicit TcpTransportServer(std::uint16_t port);
    ~TcpTransportServer();
    TcpTransportServer(const TcpTransportServer&) = delete;
    TcpTransportServer& operator=(const TcpTransportServer&) = delete;

    bool start();
    // Returns promptly whatever the client does: nothing here waits on a peer.
    void stop();
    // The bound port once started (the real one when constructed with 0).
    std::uint16_t port() const { return port_.load(); }

    // Any thread; never waits on the client. Copies the frame (data is borrowed for the call)
    // into the queue, or drops it by the queue's rules; true when queued. `arrival` starts
    // the frame's latency, measured to the last byte handed to the socket. `configGate`
    // holds this keyframe (and later ones of the stream) until the stream_config it
    // belongs after has been written, for at most VideoSendQueue::kConfigWait.
    bool sendVideoFrame(std::uint8_t streamId, const std::uint8_t* data, std::size_t size, bool isKeyframe,
                        Clock::time_point arrival = Clock::now(), std::shared_ptr<DeliveryGate> configGate = nullptr);
    // The stream ended: logs its latency summary and drops its queued frames. Any thread.
    void endStream(std::uint8_t streamId);
    // Streams that sent frames and have not ended.
    VideoSendQueue::StreamSet liveStreams() const;
    bool isClientConnected() const { return connected_.load(); }

    // May be set at any time.
    void setFeedbackCallback(std::function<void(const ClientFeedback&)> callback);
    void setInputCallback(std::function<void(const ClientInput&)> callback);
    void setKeyframeRequestCallback(std::function<void(std::uint8_t)> callback);
    // A frame's packet reached the socket whole; `frameBytes` excludes the header. I/O thread.
    void setFrameSentCallback(std::function<void(std::size_t frameBytes)> callback);
    // Connections and control messages from addresses it refuses are dropped.
    void setPeerCheck(PeerCheck check);
    // Before start(); tests shorten it.
    void setSendTimeout(std::chrono::milliseconds timeout) { sendTimeout_ = timeout; }

    std::int32_t pendingFrames() const { return pendingFrames_.load(); }
    std::int64_t pendingBytes() const { return pendingBytes_.load(); }

private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    void onAccept(boost::asio::ip::tcp::socket socket);
    void adopt(const ConnectionPtr& connection);
    void close(const ConnectionPtr& connection);
    void startRead(const ConnectionPtr& connection);
    void onRead(const ConnectionPtr& connection, const boost::system::error_code& ec, std::size_t bytes);
    void dispatch(const ConnectionPtr& connection, const ControlMessage& message);
    void drain();
    void onWritten(PacketSocket& link);
    void onFailed(PacketSocket& link, const std::string& why);
    void armConfigTimer(Clock::time_point at);
    void logQueueVerdict(const VideoSendQueue::Verdict& verdict);
    void requestKeyframes(const VideoSendQueue::StreamSet& streams);
    void publishCounts();  // queueMutex_ held

    template <typename F>
    F callback(F TcpTransportServer::*member) const {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        return this->*member;
    }

    std::atomic<std::uint16_t> port_;
    std::chrono::milliseconds sendTimeout_ = kSendTimeout;
    // Before io_: pending operations hand their memory back to it when io_ is destroyed.
    std::shared_ptr<IoWake> wake_;
    boost::asio::io_context io_;
    TcpListener listener_;
    boost::asio::steady_timer configTimer_;  // I/O thread only
    std::thread ioThread_;
    std::atomic<bool> running_{false};

    // Guards current_, queue_ and packetSequence_. Frame threads take it inside the capture
    // orchestrator's lock; nothing is called out of this class while it is held.
    mutable std::mutex queueMutex_;
    ConnectionPtr current_;
    VideoSendQueue queue_;
    std::uint16_t packetSequence_ = 0;
    std::atomic<bool> connected_{false};
    std::atomic<std::int32_t> pendingFrames_{0};
    std::atomic<std::int64_t> pendingBytes_{0};

    RateLimit queueWarnings_{std::chrono::seconds(1)};
    RateLimit refusals_{std::chrono::seconds(10)};
    RateLimit ignoredMessages_{std::chrono::seconds(10)};

    mutable std::mutex callbackMutex_;  // leaf: copies are called after it is released
    std::function<void(const ClientFeedback&)> feedbackCallback_;
    std::function<void(const ClientInput&)> inputCallback_;
    std::function<void(std::uint8_t)> keyframeCallback_;
    std::function<void(std::size_t)> frameSentCallback_;
    PeerCheck peerCheck_;
};

}  // namespace lumivane::host
