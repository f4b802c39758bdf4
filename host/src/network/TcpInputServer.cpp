#include "network/TcpInputServer.h"

#include "core/Logging.h"
#include "core/LittleEndian.h"
#include "network/TcpServerSupport.h"

#include <boost/asio/read.hpp>

namespace lumivane::host {

using boost::asio::ip::tcp;

struct TcpInputServer::Connection {
    explicit Connection(boost::asio::io_context& io) : socket(io) {}
    tcp::socket socket;
    std::uint8_t lengthBytes[4] = {};
    std::vector<std::uint8_t> body;
};

TcpInputServer::TcpInputServer(std::uint16_t port) : port_(port), acceptor_(io_) {}

TcpInputServer::~TcpInputServer() { stop(); }

bool TcpInputServer::start() {
    if (running_) return true;
    try {
        port_ = openListeningAcceptor(acceptor_, port_);
        running_ = true;
        startAccept();
        ioThread_ = std::thread([this] { io_.run(); });
        LV_INFO("TCP input server listening on port {}", port_.load());
        return true;
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start TCP input server: {}", e.what());
        running_ = false;
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
}

void TcpInputServer::stop() {
    if (!running_.exchange(false)) return;
    try {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        {
            std::lock_guard<std::mutex> lock(clientMutex_);
            if (client_) client_->socket.close(ignored);
            client_.reset();
        }
        io_.stop();
        if (ioThread_.joinable()) ioThread_.join();
    } catch (...) {
    }
    LV_INFO("TCP input server stopped");
}

void TcpInputServer::startAccept() {
    auto connection = std::make_shared<Connection>(io_);
    acceptor_.async_accept(connection->socket, [this, connection](const boost::system::error_code& ec) {
        if (!ec) handleNewConnection(connection);
        if (running_) startAccept();
    });
}

void TcpInputServer::handleNewConnection(const ConnectionPtr& connection) {
    try {
        connection->socket.set_option(tcp::no_delay(true));
        connection->socket.set_option(boost::asio::socket_base::receive_buffer_size(16384));
        connection->socket.set_option(boost::asio::socket_base::reuse_address(true));
    } catch (const std::exception& e) {
        LV_WARN("TCP input client rejected, socket setup failed: {}", e.what());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        if (client_ && client_->socket.is_open()) {
            LV_INFO("Closing existing TCP input client connection");
            boost::system::error_code ignored;
            client_->socket.close(ignored);
        }
        client_ = connection;
    }
    LV_INFO("TCP input client connected from {}", peerText(connection->socket));
    startRead(connection);
}

void TcpInputServer::startRead(const ConnectionPtr& connection) {
    {
        std::lock_guard<std::mutex> lock(clientMutex_);
        if (client_ != connection || !connection->socket.is_open()) return;
    }
    boost::asio::async_read(connection->socket, boost::asio::buffer(connection->lengthBytes),
                            [this, connection](const boost::system::error_code& ec, std::size_t) {
                                onHeader(connection, ec);
                            });
}

void TcpInputServer::closeIfCurrent(const ConnectionPtr& connection) {
    std::lock_guard<std::mutex> lock(clientMutex_);
    // A stale read must not disconnect the client that replaced its connection.
    if (client_ != connection) return;
    boost::system::error_code ignored;
    client_->socket.close(ignored);
    client_.reset();
}

void TcpInputServer::onHeader(const ConnectionPtr& connection, const boost::system::error_code& ec) {
    if (ec) {
        LV_INFO("TCP input client disconnected: {}", ec.message());
        closeIfCurrent(connection);
        return;
    }
    const std::uint32_t length = loadLe32(connection->lengthBytes);
    if (length > kMaxMessageLength) {
        LV_ERROR("TCP input message too large: {} bytes", length);
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

void TcpInputServer::onBody(const ConnectionPtr& connection, const boost::system::error_code& ec) {
    if (ec) {
        LV_INFO("TCP input read error: {}", ec.message());
        return;
    }
    handleCompleteMessage(connection->body);
    startRead(connection);
}

void TcpInputServer::handleCompleteMessage(const std::vector<std::uint8_t>& body) {
    if (body.size() < InputEvent::kWireSize) {
        LV_WARN("TCP input message too small: {} bytes", body.size());
        return;
    }
    std::function<void(const InputEvent&)> callback;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        callback = inputCallback_;
    }
    if (callback) callback(InputEvent::readFrom(body.data()));
}

void TcpInputServer::setInputCallback(std::function<void(const InputEvent&)> callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    inputCallback_ = std::move(callback);
}

}  // namespace lumivane::host
