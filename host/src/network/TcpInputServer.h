#pragma once
// Receive-only connection carrying the client's mouse and keyboard events.

#include "network/FramedMessageReader.h"
#include "network/InputEvent.h"
#include "network/TcpListener.h"
#include "network/TcpServerSupport.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace lumivane::host {

class TcpInputServer {
public:
    static constexpr std::uint32_t kMaxMessageLength = 1024;

    explicit TcpInputServer(std::uint16_t port);
    ~TcpInputServer();
    TcpInputServer(const TcpInputServer&) = delete;
    TcpInputServer& operator=(const TcpInputServer&) = delete;

    bool start();
    // Returns promptly whatever the client does; no callback runs after it returns.
    void stop();
    std::uint16_t port() const { return port_.load(); }
    // May be set at any time; the callback runs on this server's I/O thread, in arrival order.
    void setInputCallback(std::function<void(const InputEvent&)> callback);
    // Connections and events from addresses it refuses are dropped.
    void setPeerCheck(PeerCheck check);

private:
    struct Connection {
        explicit Connection(boost::asio::ip::tcp::socket s) : socket(std::move(s)) {}
        boost::asio::ip::tcp::socket socket;
        std::array<std::uint8_t, 4096> readBuffer{};
        FramedMessageReader reader{kMaxMessageLength};
        bool closed = false;
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    void onAccept(boost::asio::ip::tcp::socket socket);
    void startRead(const ConnectionPtr& connection);
    void onRead(const ConnectionPtr& connection, const boost::system::error_code& ec, std::size_t bytes);
    void handleMessage(const ConnectionPtr& connection, const FramedMessageReader::Message& message);
    void close(const ConnectionPtr& connection);

    std::atomic<std::uint16_t> port_;
    boost::asio::io_context io_;
    TcpListener listener_;
    ConnectionPtr client_;  // I/O thread only
    std::thread ioThread_;
    std::atomic<bool> running_{false};
    RateLimit warnings_{std::chrono::seconds(5)};
    RateLimit refusals_{std::chrono::seconds(10)};
    std::mutex callbackMutex_;  // leaf: copies are called after it is released
    std::function<void(const InputEvent&)> inputCallback_;
    PeerCheck peerCheck_;
};

}  // namespace lumivane::host
