#include "network/WebSocketSession.h"

#include "core/Logging.h"
#include "network/SignalingServerImpl.h"

#include <boost/asio/dispatch.hpp>
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

WebSocketSession::WebSocketSession(net::ip::tcp::socket&& socket, std::weak_ptr<SignalingServerImpl> server,
                                   const SignalingLimits& limits)
    : ws_(std::move(socket)), server_(std::move(server)), limits_(limits), address_(peerAddress(ws_.next_layer())),
      remoteAddress_(address_.is_unspecified() ? "unknown" : address_.to_string()) {}

void WebSocketSession::run() {
    net::dispatch(ws_.get_executor(), [self = shared_from_this()] {
        // Small messages must not wait for the peer's delayed ACK; ping times depend on it.
        beast::error_code ignored;
        self->ws_.next_layer().set_option(net::ip::tcp::no_delay(true), ignored);
        self->ws_.read_message_max(self->limits_.maxMessageBytes);
        websocket::stream_base::timeout timeouts;
        timeouts.handshake_timeout = self->limits_.upgradeDeadline;
        timeouts.idle_timeout = self->limits_.idleTimeout;
        timeouts.keep_alive_pings = true;
        self->ws_.set_option(timeouts);
        self->ws_.async_accept(beast::bind_front_handler(&WebSocketSession::onAccept, self));
    });
}

void WebSocketSession::onAccept(beast::error_code ec) {
    if (ec) {
        if (ec == beast::error::timeout) {
            LV_WARN("Closed signalling connection from {}: no WebSocket upgrade within {} ms", remoteAddress_,
                    limits_.upgradeDeadline.count());
        } else if (ec != net::error::operation_aborted && !dropped_) {
            LV_ERROR("WebSocket accept failed: {}", ec.message());
        }
        // A session that never opened cannot be written to; drop it at once.
        failWrites();
        if (auto server = server_.lock()) server->removeSession(this);
        return;
    }
    LV_INFO("Client connected");
    open_ = true;
    trusted_ = true;
    if (!writeQueue_.empty()) doWrite();
    doRead();
}

void WebSocketSession::doRead() {
    ws_.async_read(buffer_, beast::bind_front_handler(&WebSocketSession::onRead, shared_from_this()));
}

void WebSocketSession::onRead(beast::error_code ec, std::size_t) {
    if (ec == websocket::error::closed) {
        LV_INFO("Client disconnected");
    } else if (ec == websocket::error::message_too_big) {
        LV_WARN("Closed signalling session of {}: a message over {} bytes", remoteAddress_, limits_.maxMessageBytes);
    } else if (ec == beast::error::timeout) {
        LV_WARN("Closed signalling session of {}: no answer to a ping for {} ms", remoteAddress_,
                limits_.idleTimeout.count());
    } else if (ec) {
        // Cancelled reads come from our own stop or close, not from the peer.
        if (ec != net::error::operation_aborted && !dropped_) LV_ERROR("WebSocket read failed: {}", ec.message());
    }
    if (ec) {
        trusted_ = false;
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
        self->enqueue({std::move(text), std::move(done)});
    });
}

void WebSocketSession::sendWindowList(const std::string& text) {
    windowListQueued_ = true;
    enqueue({std::make_shared<const std::string>(text), nullptr, true});
}

void WebSocketSession::enqueue(Pending pending) {
    if (writeFailed_) {
        if (pending.done) pending.done->fail();
        return;
    }
    // The first reply always fits: a large window list alone is no sign of a stuck peer.
    if (!writeQueue_.empty() && (writeQueue_.size() >= limits_.maxQueuedMessages ||
                                 queuedBytes_ + pending.text->size() > limits_.maxQueuedBytes)) {
        if (pending.done) pending.done->fail();
        drop(fmt::format("it reads nothing ({} messages, {} bytes waiting)", writeQueue_.size(), queuedBytes_));
        return;
    }
    queuedBytes_ += pending.text->size();
    writeQueue_.push_back(std::move(pending));
    if (open_ && writeQueue_.size() == 1) doWrite();
}

void WebSocketSession::drop(const std::string& why) {
    LV_WARN("Closed signalling session of {}: {}", remoteAddress_, why);
    dropped_ = true;
    trusted_ = false;
    failWrites();
    beast::error_code ignored;
    ws_.next_layer().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
    ws_.next_layer().close(ignored);
}

void WebSocketSession::close() {
    net::post(ws_.get_executor(), [self = shared_from_this()] {
        self->dropped_ = true;
        self->trusted_ = false;
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
        if (!writeFailed_ && !dropped_) LV_ERROR("WebSocket write failed: {}", ec.message());
        if (auto& done = writeQueue_.front().done) done->fail();
    }
    queuedBytes_ -= writeQueue_.front().text->size();
    if (writeQueue_.front().windowList) windowListQueued_ = false;
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
        queuedBytes_ -= it->text->size();
    }
    writeQueue_.erase(first, writeQueue_.end());
}

}  // namespace lumivane::host
