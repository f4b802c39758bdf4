#include "network/WebSocketSession.h"

#include "core/Logging.h"
#include "network/SignalingServerImpl.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>

namespace lumivane::host {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;

namespace {

net::ip::address peerAddress(const net::ip::tcp::socket& socket) {
    boost::system::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    return ec ? net::ip::address() : endpoint.address();
}

}  // namespace

WebSocketSession::WebSocketSession(net::ip::tcp::socket&& socket, std::weak_ptr<SignalingServerImpl> server)
    : ws_(std::move(socket)), server_(std::move(server)), address_(peerAddress(ws_.next_layer())),
      remoteAddress_(address_.is_unspecified() ? "unknown" : address_.to_string()) {}

void WebSocketSession::run() {
    // Small messages must not wait for the peer's delayed ACK; ping times depend on it.
    beast::error_code ignored;
    ws_.next_layer().set_option(net::ip::tcp::no_delay(true), ignored);
    ws_.async_accept(beast::bind_front_handler(&WebSocketSession::onAccept, shared_from_this()));
}

void WebSocketSession::onAccept(beast::error_code ec) {
    if (ec) {
        LV_ERROR("WebSocket accept failed: {}", ec.message());
        // A session that never opened cannot be written to; drop it at once.
        failWrites();
        if (auto server = server_.lock()) server->removeSession(this);
        return;
    }
    LV_INFO("Client connected");
    open_ = true;
    if (!writeQueue_.empty()) doWrite();
    doRead();
}

void WebSocketSession::doRead() {
    ws_.async_read(buffer_, beast::bind_front_handler(&WebSocketSession::onRead, shared_from_this()));
}

void WebSocketSession::onRead(beast::error_code ec, std::size_t) {
    if (ec == websocket::error::closed) {
        LV_INFO("Client disconnected");
    } else if (ec) {
        // Cancelled reads come from our own stop or close, not from the peer.
        if (ec != net::error::operation_aborted) LV_ERROR("WebSocket read failed: {}", ec.message());
    }
    if (ec) {
        failWrites();
        if (auto server = server_.lock()) server->removeSession(this);
        return;
    }
    const std::string text = beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    if (auto server = server_.lock()) server->handleMessage(this, text);
    doRead();
}

void WebSocketSession::send(const std::string& text) {
    send(std::make_shared<const std::string>(text));
}

void WebSocketSession::send(std::shared_ptr<const std::string> text, std::shared_ptr<WriteCompletion> done) {
    net::post(ws_.get_executor(), [self = shared_from_this(), text = std::move(text), done = std::move(done)]() mutable {
        if (self->writeFailed_) {
            if (done) done->fail();
            return;
        }
        self->writeQueue_.push_back({std::move(text), std::move(done)});
        if (self->open_ && self->writeQueue_.size() == 1) self->doWrite();
    });
}

void WebSocketSession::close() {
    net::post(ws_.get_executor(), [self = shared_from_this()] {
        beast::error_code ignored;
        self->ws_.next_layer().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
        self->ws_.next_layer().close(ignored);
    });
}

void WebSocketSession::doWrite() {
    writing_ = true;
    ws_.async_write(net::buffer(*writeQueue_.front().text),
                    beast::bind_front_handler(&WebSocketSession::onWrite, shared_from_this()));
}

void WebSocketSession::onWrite(beast::error_code ec, std::size_t) {
    writing_ = false;
    if (ec) {
        // A read failure already ended the session; the write's failure adds nothing.
        if (!writeFailed_) LV_ERROR("WebSocket write failed: {}", ec.message());
        if (auto& done = writeQueue_.front().done) done->fail();
    }
    writeQueue_.pop_front();
    if (ec) failWrites();
    if (!writeFailed_ && !writeQueue_.empty()) doWrite();
}

// Queued texts would never be written; release them so their waiters learn it now.
// The head stays while its write is in flight: the write still reads its bytes.
void WebSocketSession::failWrites() {
    writeFailed_ = true;
    const auto first = writeQueue_.begin() + (writing_ ? 1 : 0);
    for (auto it = first; it != writeQueue_.end(); ++it) {
        if (it->done) it->done->fail();
    }
    writeQueue_.erase(first, writeQueue_.end());
}

}  // namespace lumivane::host
