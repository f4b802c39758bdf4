#include "network/TcpTransportServer.h"

#include "core/Logging.h"
#include "core/LittleEndian.h"
#include "network/MediaPacketHeader.h"
#include "network/SocketIo.h"
#include "network/TcpServerSupport.h"
#include "network/VideoFrameHeader.h"

#include <boost/asio/read.hpp>

namespace lumivane::host {

using boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

struct TcpTransportServer::Connection {
    explicit Connection(boost::asio::io_context& io) : socket(io) {}
    tcp::socket socket;
    std::uint8_t lengthBytes[4] = {};
    std::vector<std::uint8_t> body;
};

namespace {

constexpr std::uint8_t kInputMessage = 3;
constexpr std::uint8_t kFeedbackMessage = 4;
constexpr std::uint8_t kKeyframeRequest = 16;
constexpr std::int32_t kQueueLimit = 4;
constexpr std::int64_t kStallMs = 100;

std::uint32_t videoTimestamp() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ns) / 1000 * 9 / 100);
}

}  // namespace

FrameDrop decideFrameDrop(std::int64_t elapsedMs, std::int32_t pendingFrames, bool isKeyframe) {
    if (elapsedMs > kStallMs && pendingFrames >= kQueueLimit) return FrameDrop::Stalled;
    if (!isKeyframe && pendingFrames >= kQueueLimit) return FrameDrop::QueueFull;
    return FrameDrop::Send;
}

TcpTransportServer::TcpTransportServer(std::uint16_t port) : port_(port), acceptor_(io_) {}

TcpTransportServer::~TcpTransportServer() { stop(); }

bool TcpTransportServer::start() {
    if (running_) return true;
    try {
        port_ = openListeningAcceptor(acceptor_, port_);
        running_ = true;
        startAccept();
        ioThread_ = std::thread([this] { io_.run(); });
        LV_INFO("TCP transport server listening on port {}", port_.load());
        return true;
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start TCP transport: {}", e.what());
        running_ = false;
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
}

void TcpTransportServer::stop() {
    if (!running_.exchange(false)) return;
    try {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        {
            std::lock_guard<std::mutex> lock(clientMutex_);
            if (client_) client_->socket.close(ignored);
            client_.reset();
            clientConnected_ = false;
        }
        io_.stop();
        if (ioThread_.joinable()) ioThread_.join();
    } catch (...) {
    }
    LV_INFO("TCP transport server stopped");
}

void TcpTransportServer::update() {
    if (!running_) return;
    io_.poll();
}

void TcpTransportServer::startAccept() {
    auto connection = std::make_shared<Connection>(io_);
    acceptor_.async_accept(connection->socket, [this, connection](const boost::system::error_code& ec) {
        if (!ec) handleNewConnection(connection);
        if (running_) startAccept();
    });
}

void TcpTransportServer::configureSocket(tcp::socket& socket) {
    socket.set_option(tcp::no_delay(true));
    socket.set_option(boost::asio::socket_base::linger(true, 0));
    socket.set_option(boost::asio::socket_base::reuse_address(true));
    socket.set_option(boost::asio::socket_base::send_buffer_size(262144));
    socket.set_option(boost::asio::socket_base::receive_buffer_size(262144));
    setSendTimeout(socket.native_handle(), kSendTimeoutMs);
}

void TcpTransportServer::handleNewConnection(const ConnectionPtr& connection) {
    try {
        configureSocket(connection->socket);
    } catch (const std::exception& e) {
        // A peer that reset before we configured it is not worth adopting.
        LV_WARN("TCP client rejected, socket setup failed: {}", e.what());
        return;
    }
    // Reset before the client becomes visible, so no frame sees the old connection's counts.
    pendingFrames_ = 0;
    pendingBytes_ = 0;
    stallClock_ = Clock::now().time_since_epoch().count();
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        if (client_ && client_->socket.is_open()) {
            LV_INFO("Closing existing TCP client connection");
            boost::system::error_code ignored;
            client_->socket.close(ignored);
        }
        client_ = connection;
        clientConnected_ = true;
    }
    LV_INFO("TCP client connected from {}", peerText(connection->socket));
    startRead(connection);
}

void TcpTransportServer::startRead(const ConnectionPtr& connection) {
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        if (client_ != connection || !connection->socket.is_open()) return;
    }
    boost::asio::async_read(connection->socket, boost::asio::buffer(connection->lengthBytes),
                            [this, connection](const boost::system::error_code& ec, std::size_t) {
                                onHeader(connection, ec);
                            });
}

void TcpTransportServer::closeIfCurrent(const ConnectionPtr& connection) {
    std::lock_guard<std::mutex> lock(clientMutex_);
    // A stale read must not disconnect the client that replaced its connection.
    if (client_ != connection) return;
    boost::system::error_code ignored;
    client_->socket.close(ignored);
    client_.reset();
    clientConnected_ = false;
}

void TcpTransportServer::onHeader(const ConnectionPtr& connection, const boost::system::error_code& ec) {
    if (ec) {
        LV_INFO("TCP client disconnected: {}", ec.message());
        closeIfCurrent(connection);
        return;
    }
    const std::uint32_t length = loadLe32(connection->lengthBytes);
    if (length > kMaxMessageLength) {
        LV_ERROR("TCP message too large: {} bytes", length);
        return;
    }
    if (length == 0) {
        startRead(connection);
        return;
    }
    connection->body.resize(length);
    boost::asio::async_read(connection->socket, boost::asio::buffer(connection->body),
                            [this, connection](const boost::system::error_code& bodyEc, std::size_t) {
                                onBody(connection, bodyEc);
                            });
}

void TcpTransportServer::onBody(const ConnectionPtr& connection, const boost::system::error_code& ec) {
    if (ec) {
        LV_INFO("TCP read error: {}", ec.message());
        return;
    }
    dispatch(connection->body);
    startRead(connection);
}

void TcpTransportServer::dispatch(const std::vector<std::uint8_t>& body) {
    if (body.empty()) return;
    const std::uint8_t type = body[0];
    if (type == kInputMessage && body.size() >= 1 + ClientInput::kSize) {
        std::function<void(const ClientInput&)> callback;
        {
            std::lock_guard<std::mutex> lock(callbackMutex_);
            callback = inputCallback_;
        }
        if (callback) callback(ClientInput::readFrom(body.data() + 1));
    } else if (type == kFeedbackMessage && body.size() >= 1 + ClientFeedback::kSize) {
        std::function<void(const ClientFeedback&)> callback;
        {
            std::lock_guard<std::mutex> lock(callbackMutex_);
            callback = feedbackCallback_;
        }
        if (callback) callback(ClientFeedback::readFrom(body.data() + 1));
    } else if (type == kKeyframeRequest && body.size() >= 2) {
        requestKeyframe(body[1]);
    }
}

void TcpTransportServer::requestKeyframe(std::uint8_t streamId) {
    std::function<void(std::uint8_t)> callback;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        callback = keyframeCallback_;
    }
    if (callback) callback(streamId);
}

// Lock-free so callers waiting behind a blocked write still reach the drop decision.
bool TcpTransportServer::isClientConnected() const { return clientConnected_.load(); }

bool TcpTransportServer::shouldDropFrame(std::uint8_t streamId, bool isKeyframe) {
    const auto since = Clock::time_point(Clock::duration(stallClock_.load()));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
    const std::int32_t frames = pendingFrames_.load();
    switch (decideFrameDrop(elapsed, frames, isKeyframe)) {
        case FrameDrop::Stalled:
            LV_WARN("TCP queue stalled ({}ms delay, {} frames) - requesting keyframe", elapsed, frames);
            pendingFrames_ = 0;
            pendingBytes_ = 0;
            stallClock_ = Clock::now().time_since_epoch().count();
            requestKeyframe(streamId);
            return true;
        case FrameDrop::QueueFull:
            LV_WARN("TCP queue full ({} frames), dropping P-frame", frames);
            return true;
        case FrameDrop::Send:
            return false;
    }
    return false;
}

void TcpTransportServer::addPending(std::int64_t bytes) {
    pendingFrames_.fetch_add(1);
    pendingBytes_.fetch_add(bytes);
}

// Counters may have been reset while this frame waited; never let them go below zero.
void TcpTransportServer::removePending(std::int64_t bytes) {
    std::int32_t frames = pendingFrames_.load();
    while (frames > 0 && !pendingFrames_.compare_exchange_weak(frames, frames - 1)) {
    }
    std::int64_t total = pendingBytes_.load();
    while (total > 0 && !pendingBytes_.compare_exchange_weak(total, std::max<std::int64_t>(0, total - bytes))) {
    }
}

bool TcpTransportServer::sendVideoFrame(std::uint8_t streamId, const std::uint8_t* data, std::size_t size,
                                        bool isKeyframe) {
    if (!isClientConnected()) return false;
    if (shouldDropFrame(streamId, isKeyframe)) return false;
    const auto bytes = static_cast<std::int64_t>(size);
    addPending(bytes);
    std::uint8_t header[4 + MediaPacketHeader::kSize + VideoFrameHeader::kSize];
    std::string error;
    bool ok = true;
    bool sent = false;
    {
        // Frames from other threads wait here, counted as pending, behind a blocking write.
        std::lock_guard<std::mutex> lock(clientMutex_);
        if (client_ && client_->socket.is_open()) {
            storeLe32(header, static_cast<std::uint32_t>(size + 16));
            MediaPacketHeader media{1, MediaPacketHeader::kVideo, streamId, 1, packetSequence_++,
                                    static_cast<std::uint16_t>(std::min<std::size_t>(size + 8, 65535))};
            media.writeTo(header + 4);
            VideoFrameHeader video;
            video.timestamp = videoTimestamp();
            video.frameType = isKeyframe ? VideoFrameHeader::kKeyframe : VideoFrameHeader::kOtherFrame;
            video.writeTo(header + 4 + MediaPacketHeader::kSize);
            const SendPart parts[] = {{header, sizeof header}, {data, size}};
            ok = sendAllWithTimeout(client_->socket.native_handle(), parts, 2, kSendTimeoutMs, error);
            sent = ok;
        }
    }
    removePending(bytes);
    if (!ok) LV_ERROR("TCP send failed: {}", error);
    return sent;
}

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

}  // namespace lumivane::host
