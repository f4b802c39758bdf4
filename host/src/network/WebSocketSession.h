#pragma once
// One accepted signalling client. Always owned by shared pointers; all its handlers run on
// the strand its socket was accepted with.

#include "network/DeliveryGate.h"
#include "network/SignalingServer.h"

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
    WebSocketSession(boost::asio::ip::tcp::socket&& socket, std::weak_ptr<SignalingServerImpl> server,
                     const SignalingLimits& limits = {});

    // Any thread: starts the upgrade on the session's strand.
    void run();
    // Any thread. The text is shared, never copied again.
    void send(std::shared_ptr<const std::string> text, std::shared_ptr<WriteCompletion> done = nullptr);
    void send(const std::string& text);
    // Strand only. A window list costs an enumeration with icons; while one waits for the
    // peer, a further request is answered by it. False then; otherwise the caller builds
    // one and hands it to sendWindowList.
    bool windowListWanted() const { return !windowListQueued_; }
    void sendWindowList(const std::string& text);
    // Any thread: upgraded, so its address may open data connections.
    bool trusted() const { return trusted_.load(); }
    // Any thread: ends the connection without a close handshake.
    void close();
    const std::string& remoteAddress() const { return remoteAddress_; }
    // Unspecified when the peer had gone at accept time.
    const boost::asio::ip::address& address() const { return address_; }

private:
    struct Pending {
        std::shared_ptr<const std::string> text;
        std::shared_ptr<WriteCompletion> done;
        bool windowList = false;
    };

    void onAccept(boost::beast::error_code ec);
    void doRead();
    void onRead(boost::beast::error_code ec, std::size_t bytes);
    void doWrite();
    void onWrite(boost::beast::error_code ec, std::size_t bytes);
    void enqueue(Pending pending);
    void failWrites();
    // Strand only: ends the connection at once, with one line saying why.
    void drop(const std::string& why);

    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
    std::weak_ptr<SignalingServerImpl> server_;
    const SignalingLimits limits_;
    boost::beast::flat_buffer buffer_;
    // Strand only. The head is the text being written while writing_ is set.
    std::deque<Pending> writeQueue_;
    std::size_t queuedBytes_ = 0;
    boost::asio::ip::address address_;
    std::string remoteAddress_;
    bool writing_ = false;
    bool open_ = false;         // handshake done; writes wait for it
    bool writeFailed_ = false;  // nothing more is written; later sends are dropped
    bool windowListQueued_ = false;
    bool dropped_ = false;  // closed by us: the failures that follow are no news
    std::atomic<bool> trusted_{false};
};

}  // namespace lumivane::host
