#pragma once
// Receive-only connection carrying the client's mouse and keyboard events.

#include "network/InputEvent.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivane::host {

class TcpInputServer {
public:
    static constexpr std::uint32_t kMaxMessageLength = 1024;

    explicit TcpInputServer(std::uint16_t port);
    ~TcpInputServer();
    TcpInputServer(const TcpInputServer&) = delete;
    TcpInputServer& operator=(const TcpInputServer&) = delete;

    bool start();
    void stop();
    std::uint16_t port() const { return port_.load(); }
    // May be set at any time; the callback runs on this server's I/O thread, in arrival order.
    void setInputCallback(std::function<void(const InputEvent&)> callback);

private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    void startAccept();
    void handleNewConnection(const ConnectionPtr& connection);
    void startRead(const ConnectionPtr& connection);
    void onHeader(const ConnectionPtr& connection, const boost::system::error_code& ec);
    void onBody(const ConnectionPtr& connection, const boost::system::error_code& ec);
    void handleCompleteMessage(const std::vector<std::uint8_t>& body);
    void closeIfCurrent(const ConnectionPtr& connection);

    std::atomic<std::uint16_t> port_;
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    ConnectionPtr client_;
    std::thread ioThread_;
    std::mutex clientMutex_;
    std::atomic<bool> running_{false};
    std::mutex callbackMutex_;
    std::function<void(const InputEvent&)> inputCallback_;
};

}  // namespace lumivane::host
