#include "network/TcpTransportServer.h"

#include "core/LittleEndian.h"
#include "core/Logging.h"
#include "network/ControlMessage.h"
#include "network/FramedMessageReader.h"
#include "network/MediaPacketHeader.h"
#include "network/PacketSocket.h"
#include "network/VideoFrameHeader.h"

#include <boost/asio/post.hpp>

#include <array>
#include <cstring>

namespace lumivane::host {

using boost::asio::ip::tcp;

namespace {

constexpr std::size_t kHeaderSize = 4 + MediaPacketHeader::kSize + VideoFrameHeader::kSize;
constexpr std::size_t kSequenceOffset = 4 + 4;

std::uint32_t videoTimestamp(std::chrono::steady_clock::time_point now) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ns) / 1000 * 9 / 100);
}

// Everything but the sequence number, which is stamped when the packet goes out.
void writeHeader(std::uint8_t* out, std::uint8_t streamId, std::size_t size, bool keyframe,
                 std::chrono::steady_clock::time_point now) {
    storeLe32(out, static_cast<std::uint32_t>(size + 16));
    const MediaPacketHeader media{1, MediaPacketHeader::kVideo, streamId, 1, 0,
                                  static_cast<std::uint16_t>(std::min<std::size_t>(size + 8, 65535))};
    media.writeTo(out + 4);
    VideoFrameHeader video;
    video.timestamp = videoTimestamp(now);
    video.frameType = keyframe ? VideoFrameHeader::kKeyframe : VideoFrameHeader::kOtherFrame;
    video.writeTo(out + 4 + MediaPacketHeader::kSize);
}

void logLatency(std::uint8_t streamId, const FrameLatency& latency) {
    if (latency.count() == 0) return;
    LV_INFO("Stream {} frame latency (arrival to socket): {} frames, median {:.2f} ms, p99 {:.2f} ms, max {:.2f} ms",
            unsigned(streamId), latency.count(), latency.percentileMs(0.5), latency.percentileMs(0.99),
            latency.maxMs());
}

std::string heldSuffix(std::uint64_t held) {
    return held ? fmt::format(" ({} more since)", held) : std::string();
}

}  // namespace

// Touched on the I/O thread only.
struct TcpTransportServer::Connection {
    std::shared_ptr<PacketSocket> link;
    std::array<std::uint8_t, 4096> readBuffer{};
    FramedMessageReader reader{kMaxMessageLength};
    VideoSendQueue::PacketPtr inFlight;  // read under queueMutex_ by drain()
};

TcpTransportServer::TcpTransportServer(std::uint16_t port) : port_(port), listener_(io_, TcpListener::Sockets::ContextExecutor), configTimer_(io_) {
    wake_ = std::make_shared<IoWake>(io_, [this] { drain(); });
}

TcpTransportServer::~TcpTransportServer() { stop(); }

bool TcpTransportServer::start() {
    if (running_) return true;
    try {
        port_ = listener_.open(port_);
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start TCP transport: {}", e.what());
        return false;
    }
    running_ = true;
    wake_->enable();
    io_.restart();
    listener_.start([this](tcp::socket socket) { onAccept(std::move(socket)); });
    ioThread_ = std::thread([this] { io_.run(); });
    LV_INFO("TCP transport server listening on port {}", port_.load());
    return true;
}

void TcpTransportServer::stop() {
    if (!running_.exchange(false)) return;
    wake_->disable();
    // Every socket and timer is the I/O thread's; closing them ends its run.
    boost::asio::post(io_, [this] {
        listener_.close();
        configTimer_.cancel();
        ConnectionPtr connection;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            connection = current_;
        }
        if (connection) close(connection);
    });
    if (ioThread_.joinable()) ioThread_.join();
    // The streams end with the server.
    const auto live = liveStreams();
    for (std::size_t id = 0; id < live.size(); ++id)
        if (live[id]) endStream(static_cast<std::uint8_t>(id));
    LV_INFO("TCP transport server stopped");
}

// ---- connections: the I/O thread ----

void TcpTransportServer::onAccept(tcp::socket socket) {
    if (!admitConnection(socket, callback(&TcpTransportServer::peerCheck_), "TCP video", refusals_)) return;
    try {
        socket.set_option(tcp::no_delay(true));
        socket.set_option(boost::asio::socket_base::linger(true, 0));
        socket.set_option(boost::asio::socket_base::reuse_address(true));
        socket.set_option(boost::asio::socket_base::send_buffer_size(262144));
        socket.set_option(boost::asio::socket_base::receive_buffer_size(262144));
    } catch (const std::exception& e) {
        // A peer that reset before we configured it is not worth adopting.
        LV_WARN("TCP client rejected, socket setup failed: {}", e.what());
        return;
    }
    auto connection = std::make_shared<Connection>();
    connection->link = std::make_shared<PacketSocket>(
        std::move(socket), sendTimeout_,
        PacketSocket::Events{[this](PacketSocket& link) { onWritten(link); },
                             [this](PacketSocket& link, const std::string& why) { onFailed(link, why); }});
    adopt(connection);
}

void TcpTransportServer::adopt(const ConnectionPtr& connection) {
    ConnectionPtr previous;
    VideoSendQueue::StreamSet keyframes;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        previous = current_;
        current_ = connection;
        // Nothing queued was meant for this client, and each stream starts with a keyframe.
        keyframes = queue_.restart(Clock::now());
        connected_ = true;
        publishCounts();
    }
    if (previous) {
        LV_INFO("Closing existing TCP client connection");
        close(previous);
    }
    LV_INFO("TCP client connected from {}", connection->link->name());
    startRead(connection);
    requestKeyframes(keyframes);
}

// The socket resets; its packet in flight is no longer read by anyone and goes back.
void TcpTransportServer::close(const ConnectionPtr& connection) {
    connection->link->close();
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (connection->inFlight) queue_.abandon(std::move(connection->inFlight));
    if (current_ == connection) {
        current_.reset();
        queue_.clear();
        connected_ = false;
    }
    publishCounts();
}

void TcpTransportServer::startRead(const ConnectionPtr& connection) {
    connection->link->socket().async_read_some(boost::asio::buffer(connection->readBuffer),
                                       [this, connection](const boost::system::error_code& ec, std::size_t bytes) {
                                           onRead(connection, ec, bytes);
                                       });
}

void TcpTransportServer::onRead(const ConnectionPtr& connection, const boost::system::error_code& ec,
                                std::size_t bytes) {
    // A connection closed here (replaced, stalled, stopping) ends its read quietly.
    if (!connection->link->isOpen()) return;
    if (ec) {
        LV_INFO("TCP client disconnected: {}", ec.message());
        close(connection);
        return;
    }
    const bool readable = connection->reader.feed(
        connection->readBuffer.data(), bytes, [&](const FramedMessageReader::Message& message) {
            dispatch(connection, parseControlMessage(message.head, message.kept));
        });
    if (!readable) {
        // Not read any more; video keeps flowing to it.
        LV_ERROR("TCP message too large: {} bytes", connection->reader.rejectedLength());
        return;
    }
    if (connection->link->isOpen()) startRead(connection);
}

void TcpTransportServer::dispatch(const ConnectionPtr& connection, const ControlMessage& message) {
    if (message.kind == ControlMessage::Kind::Ignored) return;
    // The address may have lost its signalling session since the connection was accepted.
    const PeerCheck check = callback(&TcpTransportServer::peerCheck_);
    if (check) {
        const auto address = peerAddress(connection->link->socket());
        if (!address || !check(*address)) {
            if (const auto held = ignoredMessages_.allow())
                LV_WARN("Ignored a control message from {}: no signalling session from that address{}",
                        connection->link->name(), heldSuffix(*held));
            return;
        }
    }
    switch (message.kind) {
        case ControlMessage::Kind::Input:
            if (auto input = callback(&TcpTransportServer::inputCallback_)) input(message.input);
            break;
        case ControlMessage::Kind::Feedback:
            if (auto feedback = callback(&TcpTransportServer::feedbackCallback_)) feedback(message.feedback);
            break;
        case ControlMessage::Kind::KeyframeRequest:
            if (auto keyframe = callback(&TcpTransportServer::keyframeCallback_)) keyframe(message.streamId);
            break;
        case ControlMessage::Kind::Ignored:
            break;
    }
}

// ---- the queue ----

bool TcpTransportServer::sendVideoFrame(std::uint8_t streamId, const std::uint8_t* data, std::size_t size,
                                        bool isKeyframe, Clock::time_point arrival,
                                        std::shared_ptr<DeliveryGate> configGate) {
    const auto now = Clock::now();
    VideoSendQueue::Verdict verdict;
    bool gated = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (!current_) {
            if (running_) queue_.markLive(streamId);
            return false;
        }
        verdict = queue_.offer(streamId, isKeyframe, now);
        if (verdict.accepted) {
            auto packet = queue_.acquire(kHeaderSize + size);
            packet->streamId = streamId;
            packet->keyframe = isKeyframe;
            packet->arrival = arrival;
            writeHeader(packet->data.get(), streamId, size, isKeyframe, now);
            if (size > 0) std::memcpy(packet->data.get() + kHeaderSize, data, size);
            gated = configGate && isKeyframe;
            queue_.push(std::move(packet), gated ? configGate : nullptr, now);
        }
        publishCounts();
    }
    if (gated) configGate->onOpen([wake = std::weak_ptr<IoWake>(wake_)] {
        if (auto alive = wake.lock()) alive->notify();
    });
    if (verdict.accepted) wake_->notify();
    logQueueVerdict(verdict);
    requestKeyframes(verdict.keyframeRequests);
    return verdict.accepted;
}

void TcpTransportServer::logQueueVerdict(const VideoSendQueue::Verdict& verdict) {
    if (verdict.reason == FrameDrop::Send) return;
    const auto held = queueWarnings_.allow();
    if (!held) return;
    if (verdict.reason == FrameDrop::Stalled) {
        LV_WARN("TCP queue stalled ({}ms delay, {} frames) - requesting keyframe{}", verdict.waitedMs,
                verdict.pendingFrames, heldSuffix(*held));
    } else {
        LV_WARN("TCP queue full ({} frames), dropping P-frame{}", verdict.pendingFrames, heldSuffix(*held));
    }
}

void TcpTransportServer::requestKeyframes(const VideoSendQueue::StreamSet& streams) {
    if (streams.none()) return;
    const auto request = callback(&TcpTransportServer::keyframeCallback_);
    if (!request) return;
    for (std::size_t id = 0; id < streams.size(); ++id)
        if (streams[id]) request(static_cast<std::uint8_t>(id));
}

void TcpTransportServer::publishCounts() {
    pendingFrames_ = queue_.pendingFrames();
    pendingBytes_ = queue_.pendingBytes();
}

void TcpTransportServer::endStream(std::uint8_t streamId) {
    std::unique_ptr<FrameLatency> latency;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        latency = queue_.endStream(streamId);
        publishCounts();
    }
    if (latency) logLatency(streamId, *latency);
}

VideoSendQueue::StreamSet TcpTransportServer::liveStreams() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return queue_.liveStreams();
}

// ---- writing: the I/O thread ----

void TcpTransportServer::drain() {
    ConnectionPtr connection;
    VideoSendQueue::StreamSet overdue;
    std::optional<Clock::time_point> wakeAt;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        connection = current_;
        if (!connection || connection->inFlight) return;
        connection->inFlight = queue_.next(Clock::now(), overdue, wakeAt);
        if (connection->inFlight) storeLe16(connection->inFlight->data.get() + kSequenceOffset, packetSequence_++);
        publishCounts();
    }
    for (std::size_t id = 0; id < overdue.size(); ++id) {
        if (!overdue[id]) continue;
        // The signalling thread is busy (or the client is not reading it). Send the keyframe
        // anyway and ask for another, which will follow the config.
        LV_WARN("stream_config for stream {} not written within {} ms; sending the keyframe anyway", id,
                VideoSendQueue::kConfigWait.count());
    }
    requestKeyframes(overdue);
    if (wakeAt) armConfigTimer(*wakeAt);
    if (connection->inFlight) connection->link->write(connection->inFlight->data.get(), connection->inFlight->size);
}

void TcpTransportServer::onWritten(PacketSocket& link) {
    std::size_t frameBytes = 0;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (!current_ || current_->link.get() != &link || !current_->inFlight) return;
        frameBytes = current_->inFlight->size - kHeaderSize;
        queue_.written(std::move(current_->inFlight), Clock::now());
        publishCounts();
    }
    if (auto sent = callback(&TcpTransportServer::frameSentCallback_)) sent(frameBytes);
    drain();
}

void TcpTransportServer::onFailed(PacketSocket& link, const std::string& why) {
    LV_ERROR("TCP send failed: {}", why);
    ConnectionPtr connection;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (current_ && current_->link.get() == &link) connection = current_;
    }
    if (connection) close(connection);
}

void TcpTransportServer::armConfigTimer(Clock::time_point at) {
    configTimer_.expires_at(at);
    configTimer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) drain();
    });
}

// ---- callbacks ----

void TcpTransportServer::setFeedbackCallback(std::function<void(const ClientFeedback&)> callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    feedbackCallback_ = std::move(callback);
}

void TcpTransportServer::setInputCallback(std::function<void(const ClientInput&)> callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    inputCallback_ = std::move(callback);
}

void TcpTransportServer::setKeyframeRequestCallback(std::function<void(std::uint8_t)> callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    keyframeCallback_ = std::move(callback);
}

void TcpTransportServer::setFrameSentCallback(std::function<void(std::size_t)> callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    frameSentCallback_ = std::move(callback);
}

void TcpTransportServer::setPeerCheck(PeerCheck check) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    peerCheck_ = std::move(check);
}

}  // namespace lumivane::host
