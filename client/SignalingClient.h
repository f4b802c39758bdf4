#pragma once
// The WebSocket to the host's signalling port. Everything runs on the one thread that
// runs the io_context; handlers are called there.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <nlohmann/json.hpp>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace lumivane::client {

class SignalingClient {
public:
    struct Handlers {
        std::function<void(const nlohmann::json&)> message;  // a JSON object with a string "type"
        std::function<void(const std::string& text)> malformed;
        std::function<void(const std::string& reason)> closed;  // not called after close()
    };

    explicit SignalingClient(boost::asio::io_context& io);

    // Connects and completes the WebSocket handshake; `done` gets "" or the reason.
    void connect(const boost::asio::ip::tcp::endpoint& endpoint, Handlers handlers,
                 std::function<void(const std::string& error)> done);
    void send(const nlohmann::json& message);
    // Sends a close frame if open, then drops the connection; `done` runs either way.
    void close(std::function<void()> done);
    // Drops the connection at once; a close() still waiting for the host completes.
    void abort();
    bool isOpen() const { return open_; }
    // True while bytes the host sent are waiting in the socket to be read.
    bool hasUnreadBytes() const;

private:
    void doRead();
    void onRead(boost::system::error_code ec, std::size_t bytes);
    void doWrite();
    void onWrite(boost::system::error_code ec, std::size_t bytes);
    void fail(const std::string& reason);

    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
    boost::beast::flat_buffer buffer_;
    std::deque<std::string> writeQueue_;
    Handlers handlers_;
    bool open_ = false;
    bool closing_ = false;
};

}  // namespace lumivane::client
