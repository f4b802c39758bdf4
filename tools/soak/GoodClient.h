#pragma once
// The client that must never notice the churn: it streams the soak's window over its own
// signalling session and video connection and measures the gaps between its packets.

#include "ChurnActions.h"
#include "SignalingLink.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lumivane::soak {

class GoodClient {
public:
    using Clock = std::chrono::steady_clock;

    explicit GoodClient(const HostAddress& host) : host_(host) {}
    ~GoodClient();
    GoodClient(const GoodClient&) = delete;
    GoodClient& operator=(const GoodClient&) = delete;

    // Connects, starts the stream and waits for its first packet; "" or the reason.
    std::string start();
    // Gaps are measured from here on (the stream's start-up is not an interruption).
    void resetLongestGap();
    // Stops the stream and joins the readers.
    void stop();

    int streamId() const { return streamId_; }
    std::uint64_t packets() const { return packets_.load(); }
    // The longest time without a packet of the stream, counting the current wait.
    std::chrono::milliseconds longestGap() const;
    // Why a connection ended while it should not have; empty while all is well.
    std::string failure() const;

private:
    void readSignaling();
    void readVideo();
    void fail(const std::string& reason);

    HostAddress host_;
    boost::asio::io_context io_;
    std::unique_ptr<SignalingLink> link_;
    boost::asio::ip::tcp::socket video_{io_};
    int streamId_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> packets_{0};
    std::thread signalingReader_;
    std::thread videoReader_;
    mutable std::mutex mutex_;  // guards the three below
    Clock::time_point lastPacket_{};
    Clock::duration longest_{};
    std::string failure_;
};

}  // namespace lumivane::soak
