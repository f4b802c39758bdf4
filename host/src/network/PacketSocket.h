#pragma once
// One client connection of a transport that sends packets: writes one packet at a time on
// the I/O thread and gives up on a peer that takes no byte for the send time-out. A client
// that stops reading therefore never holds the host, and never gets half a packet followed
// by anything else: a failed or timed-out connection is closed (reset), not reused.
//
// All calls and both events are on the thread running the socket's I/O context.

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lumivane::host {

class PacketSocket : public std::enable_shared_from_this<PacketSocket> {
public:
    using Clock = std::chrono::steady_clock;
    struct Events {
        std::function<void(PacketSocket&)> written;                        // the packet went whole
        std::function<void(PacketSocket&, const std::string& why)> failed;  // now closed
    };

    PacketSocket(boost::asio::ip::tcp::socket socket, std::chrono::milliseconds sendTimeout, Events events);
    PacketSocket(const PacketSocket&) = delete;
    PacketSocket& operator=(const PacketSocket&) = delete;

    boost::asio::ip::tcp::socket& socket() { return socket_; }
    // "address:port", read once at creation.
    const std::string& name() const { return name_; }
    bool isOpen() const { return !closed_; }
    bool isWriting() const { return data_ != nullptr; }

    // Starts writing; data stays valid until `written` or `failed` runs, or close() returns.
    void write(const std::uint8_t* data, std::size_t size);
    // Resets the connection; a write in progress ends without an event.
    void close();

private:
    void writeSome();
    void onWrite(const boost::system::error_code& ec, std::size_t bytes);
    void armWatchdog();
    void fail(const std::string& why);

    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer watchdog_;
    const std::chrono::milliseconds sendTimeout_;
    const Events events_;
    std::string name_;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t done_ = 0;
    Clock::time_point lastProgress_;
    bool watchdogArmed_ = false;
    bool closed_ = false;
};

}  // namespace lumivane::host
