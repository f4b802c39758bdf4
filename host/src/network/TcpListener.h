#pragma once
// Accepts a server's TCP connections. The acceptor runs on a strand of the server's I/O
// context, so close() from any thread is ordered with the accept handler, and an accept
// that completes after close() is dropped, never handed on. A failed accept (out of
// descriptors, say) is retried after a pause instead of at once, which would spin.

#include "core/RateLimit.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <chrono>
#include <cstdint>
#include <functional>

namespace lumivane::host {

class TcpListener {
public:
    // Long enough not to spin while descriptors are exhausted, short enough that a client
    // arriving once one is free barely notices.
    static constexpr std::chrono::milliseconds kRetryDelay{100};

    using OnAccept = std::function<void(boost::asio::ip::tcp::socket)>;
    // Sockets of a context that several threads run need a strand each; those of a context
    // run by one thread do not, and without one their operations allocate nothing once warm.
    enum class Sockets { OwnStrand, ContextExecutor };

    TcpListener(boost::asio::io_context& io, Sockets sockets);
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Opens, binds (IPv4, any address) and listens; throws boost::system::system_error.
    // Returns the bound port, which differs from `port` when that is 0.
    std::uint16_t open(std::uint16_t port);
    // Starts accepting. Each socket goes to onAccept on the I/O thread.
    void start(OnAccept onAccept);
    // Any thread, any number of times. The close itself runs on the strand.
    void close();

private:
    void doAccept();
    void onAccept(const boost::system::error_code& ec, boost::asio::ip::tcp::socket socket);

    boost::asio::io_context& io_;
    const Sockets sockets_;
    boost::asio::strand<boost::asio::io_context::executor_type> strand_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_;
    OnAccept onAccept_;
    // One line per interval is enough to see descriptors run out.
    RateLimit failures_{std::chrono::seconds(10)};
    bool closed_ = false;  // strand only
};

}  // namespace lumivane::host
