#pragma once
// One accepted signalling client. Always owned by shared pointers; all its handlers run on
// the strand its socket was accepted with.

#include "network/DeliveryGate.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <atomic>
#include <deque>
#include <memory>
#include <string>

namespace lumivane::host {

class SignalingServerImpl;

// Shared by the queue entries of one broadcast; opens the gate when the last entry is
// written or dropped.
class WriteCompletion {
public:
    WriteCompletion() : gate_(std::make_shared<DeliveryGate>()) {}
    ~WriteCompletion() { gate_->open(ok_); }
    WriteCompletion(const WriteCompletion&) = delete;
    WriteCompletion& operator=(const WriteCompletion&) = delete;

    std::shared_ptr<DeliveryGate> gate() const { return gate_; }
    void fail() { ok_ = false; }

private:
    std::shared_ptr<DeliveryGate> gate_;
    std::atomic<bool> ok_{true};
};

class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    WebSocketSession(boost::asio::ip::tcp::socket&& socket, std::weak_ptr<SignalingServerImpl> server);

    void run();
    // Any thread. The text is shared, never copied again.
    void send(std::shared_ptr<const std::string> text, std::shared_ptr<WriteCompletion> done = nullptr);
    void send(const std::string& text);
    // Any thread: ends the connection without a close handshake.
    void close();
    const std::string& remoteAddress() const { return remoteAddress_; }
    // Unspecified when the peer had gone at accept time.
    const boost::asio::ip::address& address() const { return address_; }

private:
    struct Pending {
        std::shared_ptr<const std::string> text;
        std::shared_ptr<WriteCompletion> done;
    };

    void onAccept(boost::beast::error_code ec);
    void doRead();
    void onRead(boost::beast::error_code ec, std::size_t bytes);
    void doWrite();
    void onWrite(boost::beast::error_code ec, std::size_t bytes);
    void failWrites();

    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
    std::weak_ptr<SignalingServerImpl> server_;
    boost::beast::flat_buffer buffer_;
    // Strand only. The head is the text being written while writing_ is set.
    std::deque<Pending> writeQueue_;
    boost::asio::ip::address address_;
    std::string remoteAddress_;
    bool writing_ = false;
    bool open_ = false;         // handshake done; writes wait for it
    bool writeFailed_ = false;  // nothing more is written; later sends are dropped
};

}  // namespace lumivane::host
