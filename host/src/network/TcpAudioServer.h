#pragma once
// Send-only connection carrying Opus packets to the one connected client.
//
// Threads: sendAudioData is called on the audio thread and only queues; this server's I/O
// thread accepts and writes. A client that does not keep up loses the oldest packets (late
// sound is worse than a gap); one that takes nothing for the send time-out is closed.

#include "network/IoWake.h"
#include "network/TcpListener.h"
#include "network/TcpServerSupport.h"

#include <boost/asio/io_context.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivane::host {

class PacketSocket;

class TcpAudioServer {
public:
    // 10 ms packets: a quarter of a second may wait before the oldest are dropped.
    static constexpr std::size_t kQueuePackets = 25;
    static constexpr std::chrono::milliseconds kSendTimeout{20000};

    explicit TcpAudioServer(std::uint16_t port);
    ~TcpAudioServer();
    TcpAudioServer(const TcpAudioServer&) = delete;
    TcpAudioServer& operator=(const TcpAudioServer&) = delete;

    bool start();
    // Returns promptly whatever the client does.
    void stop();
    std::uint16_t port() const { return port_.load(); }
    // Any thread; never waits on the client. Queues one packet (data is borrowed for the
    // call), or nothing when no client is connected.
    void sendAudioData(std::uint8_t streamId, const std::uint8_t* data, std::size_t size);

    void setPeerCheck(PeerCheck check);
    // Before start(); tests shorten it.
    void setSendTimeout(std::chrono::milliseconds timeout) { sendTimeout_ = timeout; }
    // Packets dropped because the client fell behind, since start.
    std::uint64_t droppedPackets() const { return dropped_.load(); }

private:
    using Buffer = std::vector<std::uint8_t>;  // capacity kept across reuse

    void onAccept(boost::asio::ip::tcp::socket socket);
    void closeCurrent();
    void drain();
    void onWritten(PacketSocket& link);
    void onFailed(PacketSocket& link, const std::string& why);

    std::atomic<std::uint16_t> port_;
    std::chrono::milliseconds sendTimeout_ = kSendTimeout;
    // Before io_: pending operations hand their memory back to it when io_ is destroyed.
    std::shared_ptr<IoWake> wake_;
    boost::asio::io_context io_;
    TcpListener listener_;
    std::thread ioThread_;
    std::atomic<bool> running_{false};

    // Guards the client, the ring and the sequence. Nothing is called out while it is held.
    std::mutex queueMutex_;
    std::shared_ptr<PacketSocket> client_;
    std::array<Buffer, kQueuePackets> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    Buffer inFlight_;  // the packet being written; swapped with a ring slot, never copied
    std::uint16_t packetSequence_ = 0;
    std::atomic<std::uint64_t> dropped_{0};

    RateLimit dropWarnings_{std::chrono::seconds(5)};
    RateLimit refusals_{std::chrono::seconds(10)};
    std::mutex checkMutex_;  // leaf
    PeerCheck peerCheck_;
};

}  // namespace lumivane::host
