#include "SignalingClient.h"

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>

namespace lumivane::client {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using boost::system::error_code;

SignalingClient::SignalingClient(net::io_context& io) : ws_(io) {}

void SignalingClient::connect(const net::ip::tcp::endpoint& endpoint, Handlers handlers,
                              std::function<void(const std::string&)> done) {
    handlers_ = std::move(handlers);
    const std::string hostHeader = endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
    ws_.next_layer().async_connect(endpoint, [this, hostHeader, done = std::move(done)](error_code ec) mutable {
        if (ec) return done("cannot connect to " + hostHeader + ": " + ec.message());
        error_code ignored;
        ws_.next_layer().set_option(net::ip::tcp::no_delay(true), ignored);
        ws_.async_handshake(hostHeader, "/", [this, hostHeader, done = std::move(done)](error_code ec) {
            if (ec) return done("WebSocket handshake with " + hostHeader + " failed: " + ec.message());
            open_ = true;
            doRead();
            done("");
        });
    });
}

void SignalingClient::doRead() {
    ws_.async_read(buffer_, [this](error_code ec, std::size_t bytes) { onRead(ec, bytes); });
}

void SignalingClient::onRead(error_code ec, std::size_t) {
    if (ec) {
        if (closing_) return;
        fail(ec == websocket::error::closed ? "the host closed the signalling connection"
                                            : "signalling connection lost: " + ec.message());
        return;
    }
    const std::string text = boost::beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    // Read on before handling: a message Beast already holds completes ahead of anything
    // the handler posts, which the ordering check relies on.
    doRead();
    auto message = nlohmann::json::parse(text, nullptr, false);
    if (!message.is_object() || !message.contains("type") || !message["type"].is_string()) {
        if (handlers_.malformed) handlers_.malformed(text);
        return;
    }
    if (handlers_.message) handlers_.message(message);
}

void SignalingClient::send(const nlohmann::json& message) {
    if (!open_ || closing_) return;
    writeQueue_.push_back(message.dump());
    if (writeQueue_.size() == 1) doWrite();
}

void SignalingClient::doWrite() {
    ws_.text(true);
    ws_.async_write(net::buffer(writeQueue_.front()), [this](error_code ec, std::size_t bytes) { onWrite(ec, bytes); });
}

void SignalingClient::onWrite(error_code ec, std::size_t) {
    if (ec) {
        if (!closing_) fail("cannot write to the signalling connection: " + ec.message());
        return;
    }
    writeQueue_.pop_front();
    if (!writeQueue_.empty()) doWrite();
}

void SignalingClient::fail(const std::string& reason) {
    const bool wasOpen = open_;
    open_ = false;
    error_code ignored;
    ws_.next_layer().close(ignored);
    if (wasOpen && handlers_.closed) handlers_.closed(reason);
}

void SignalingClient::close(std::function<void()> done) {
    if (closing_) return done();
    closing_ = true;
    if (!open_ || !writeQueue_.empty()) {
        // A write in flight and a close frame may not overlap; the host copes with a plain close.
        open_ = false;
        error_code ignored;
        ws_.next_layer().close(ignored);
        return done();
    }
    open_ = false;
    ws_.async_close(websocket::close_code::normal, [this, done = std::move(done)](error_code) {
        error_code ignored;
        ws_.next_layer().close(ignored);
        done();
    });
}

void SignalingClient::abort() {
    closing_ = true;
    open_ = false;
    error_code ignored;
    ws_.next_layer().close(ignored);
}

bool SignalingClient::hasUnreadBytes() const {
    error_code ec;
    return ws_.next_layer().available(ec) > 0 && !ec;
}

}  // namespace lumivane::client
