#pragma once
// One of the host's TCP connections (video, audio or input): length-prefixed messages in,
// length-prefixed messages out, on the thread that runs the io_context.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lumivane::client {

class TcpChannel {
public:
    // The body is borrowed for the call; the buffer is reused for the next message.
    using MessageHandler = std::function<void(const std::uint8_t* body, std::size_t size)>;
    using ClosedHandler = std::function<void(const std::string& reason)>;

    // Messages longer than maxMessage end the connection (the stream would be unreadable).
    TcpChannel(boost::asio::io_context& io, std::string name, std::uint32_t maxMessage);

    void connect(const boost::asio::ip::tcp::endpoint& endpoint, std::function<void(const std::string& error)> done);
    // Starts the read loop; `closed` is not called after close().
    void startReading(MessageHandler message, ClosedHandler closed);
    // Queues bytes already framed by the caller.
    void write(std::vector<std::uint8_t> bytes);
    void close();

    bool isOpen() const { return open_; }
    // The host runs on this machine, so its clock stamps are ours.
    bool peerIsLocal() const { return peerIsLocal_; }
    const std::string& name() const { return name_; }

private:
    void readHeader();
    void onHeader(const boost::system::error_code& ec);
    void onBody(const boost::system::error_code& ec);
    void doWrite();
    void fail(const std::string& reason);

    boost::asio::ip::tcp::socket socket_;
    std::string name_;
    std::uint32_t maxMessage_;
    std::uint8_t lengthBytes_[4] = {};
    std::vector<std::uint8_t> body_;
    std::deque<std::vector<std::uint8_t>> writeQueue_;
    MessageHandler onMessage_;
    ClosedHandler onClosed_;
    bool open_ = false;
    bool peerIsLocal_ = false;
};

}  // namespace lumivane::client
