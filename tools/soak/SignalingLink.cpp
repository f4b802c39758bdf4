#include "SignalingLink.h"

#include <boost/asio/connect.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>

namespace lumivane::soak {

namespace net = boost::asio;
using net::ip::tcp;

SignalingLink::SignalingLink(net::io_context& io, std::uint16_t port) : ws_(io) {
    ws_.next_layer().connect(tcp::endpoint(net::ip::make_address_v4("127.0.0.1"), port));
    ws_.read_message_max(64 * 1024 * 1024);
    ws_.handshake("127.0.0.1", "/");
}

void SignalingLink::sendText(const std::string& text) {
    ws_.text(true);
    ws_.write(net::buffer(text));
}

void SignalingLink::sendBinary(const std::string& bytes) {
    ws_.binary(true);
    ws_.write(net::buffer(bytes));
}

nlohmann::json SignalingLink::read() {
    buffer_.clear();
    ws_.read(buffer_);
    return nlohmann::json::parse(boost::beast::buffers_to_string(buffer_.data()), nullptr, false);
}

nlohmann::json SignalingLink::readUntil(const std::string& type) {
    for (;;) {
        auto message = read();
        if (message.is_object() && message.value("type", "") == type) return message;
    }
}

void SignalingLink::shutdown() {
    boost::system::error_code ignored;
    ws_.next_layer().shutdown(tcp::socket::shutdown_both, ignored);
}

}  // namespace lumivane::soak
