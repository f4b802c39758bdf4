#pragma once
// A blocking WebSocket connection to the host's signalling port, for the soak's clients.
// Failures throw (boost::system::system_error); each client runs until one does.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace lumivane::soak {

class SignalingLink {
public:
    SignalingLink(boost::asio::io_context& io, std::uint16_t port);

    void send(const nlohmann::json& message) { sendText(message.dump()); }
    void sendText(const std::string& text);
    void sendBinary(const std::string& bytes);
    // The next message; non-JSON text reads as a null value.
    nlohmann::json read();
    // Reads until a message of this type arrives.
    nlohmann::json readUntil(const std::string& type);
    // Unblocks a read on another thread and ends the connection without a close handshake.
    void shutdown();
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket>& stream() { return ws_; }

private:
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
    boost::beast::flat_buffer buffer_;
};

}  // namespace lumivane::soak
