#pragma once
// Send-only connection carrying Opus packets to the one connected client.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace lumivane::host {

class TcpAudioServer {
public:
    explicit TcpAudioServer(std::uint16_t port);
    ~TcpAudioServer();
    TcpAudioServer(const TcpAudioServer&) = delete;
    TcpAudioServer& operator=(const TcpAudioServer&) = delete;

    bool start();
    void stop();
    std::uint16_t port() const { return port_.load(); }
    // Blocking write on the caller's thread; nothing is sent without a client. data is borrowed.
    void sendAudioData(std::uint8_t streamId, const std::uint8_t* data, std::size_t size);

private:
    using SocketPtr = std::shared_ptr<boost::asio::ip::tcp::socket>;

    void runIo();
    void startAccept();
    void handleNewConnection(const SocketPtr& socket);

    std::atomic<std::uint16_t> port_;
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    SocketPtr client_;
    std::thread ioThread_;
    std::mutex clientMutex_;
    std::atomic<bool> running_{false};
    std::uint16_t packetSequence_ = 0;  // guarded by clientMutex_
};

}  // namespace lumivane::host
