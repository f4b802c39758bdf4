#include "network/TcpInputServer.h"

#include "core/Logging.h"

#include <boost/asio/post.hpp>

namespace lumivane::host {

using boost::asio::ip::tcp;

TcpInputServer::TcpInputServer(std::uint16_t port) : port_(port), listener_(io_, TcpListener::Sockets::ContextExecutor) {}

TcpInputServer::~TcpInputServer() { stop(); }

bool TcpInputServer::start() {
    if (running_) return true;
    try {
        port_ = listener_.open(port_);
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start TCP input server: {}", e.what());
        return false;
    }
    running_ = true;
    io_.restart();
    listener_.start([this](tcp::socket socket) { onAccept(std::move(socket)); });
    ioThread_ = std::thread([this] { io_.run(); });
    LV_INFO("TCP input server listening on port {}", port_.load());
    return true;
}

void TcpInputServer::stop() {
    if (!running_.exchange(false)) return;
    boost::asio::post(io_, [this] {
        listener_.close();
        if (client_) close(client_);
    });
    if (ioThread_.joinable()) ioThread_.join();
    LV_INFO("TCP input server stopped");
}

// ---- the I/O thread ----

void TcpInputServer::onAccept(tcp::socket socket) {
    PeerCheck check;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        check = peerCheck_;
    }
    if (!admitConnection(socket, check, "TCP input", refusals_)) return;
    try {
        socket.set_option(tcp::no_delay(true));
        socket.set_option(boost::asio::socket_base::receive_buffer_size(16384));
        socket.set_option(boost::asio::socket_base::reuse_address(true));
    } catch (const std::exception& e) {
        LV_WARN("TCP input client rejected, socket setup failed: {}", e.what());
        return;
    }
    if (client_ && !client_->closed) {
        LV_INFO("Closing existing TCP input client connection");
        close(client_);
    }
    client_ = std::make_shared<Connection>(std::move(socket));
    LV_INFO("TCP input client connected from {}", peerText(client_->socket));
    startRead(client_);
}

void TcpInputServer::close(const ConnectionPtr& connection) {
    connection->closed = true;
    boost::system::error_code ignored;
    connection->socket.close(ignored);
    if (client_ == connection) client_.reset();
}

void TcpInputServer::startRead(const ConnectionPtr& connection) {
    connection->socket.async_read_some(boost::asio::buffer(connection->readBuffer),
                                       [this, connection](const boost::system::error_code& ec, std::size_t bytes) {
                                           onRead(connection, ec, bytes);
                                       });
}

void TcpInputServer::onRead(const ConnectionPtr& connection, const boost::system::error_code& ec, std::size_t bytes) {
    // A connection closed here (replaced, stopping) ends its read quietly.
    if (connection->closed) return;
    if (ec) {
        LV_INFO("TCP input client disconnected: {}", ec.message());
        close(connection);
        return;
    }
    const bool readable = connection->reader.feed(
        connection->readBuffer.data(), bytes,
        [&](const FramedMessageReader::Message& message) { handleMessage(connection, message); });
    if (!readable) {
        // Not read any more; it stays the client until replaced.
        LV_ERROR("TCP input message too large: {} bytes", connection->reader.rejectedLength());
        return;
    }
    startRead(connection);
}

void TcpInputServer::handleMessage(const ConnectionPtr& connection, const FramedMessageReader::Message& message) {
    if (message.length == 0) return;
    if (message.length < InputEvent::kWireSize) {
        if (const auto held = warnings_.allow())
            LV_WARN("TCP input message too small: {} bytes{}", message.length,
                    *held ? fmt::format(" ({} more since)", *held) : std::string());
        return;
    }
    std::function<void(const InputEvent&)> callback;
    PeerCheck check;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        callback = inputCallback_;
        check = peerCheck_;
    }
    // The address may have lost its signalling session since the connection was accepted.
    if (check) {
        const auto address = peerAddress(connection->socket);
        if (!address || !check(*address)) return;
    }
    if (callback) callback(InputEvent::readFrom(message.head));
}

void TcpInputServer::setInputCallback(std::function<void(const InputEvent&)> callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    inputCallback_ = std::move(callback);
}

void TcpInputServer::setPeerCheck(PeerCheck check) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    peerCheck_ = std::move(check);
}

}  // namespace lumivane::host
