#include "network/TcpListener.h"

#include "core/Logging.h"

#include <boost/asio/post.hpp>

namespace lumivane::host {

using boost::asio::ip::tcp;

TcpListener::TcpListener(boost::asio::io_context& io, Sockets sockets)
    : io_(io), sockets_(sockets), strand_(boost::asio::make_strand(io)), acceptor_(strand_), retry_(strand_) {}

std::uint16_t TcpListener::open(std::uint16_t port) {
    const tcp::endpoint endpoint(tcp::v4(), port);
    try {
        acceptor_.open(endpoint.protocol());
        acceptor_.set_option(tcp::acceptor::reuse_address(true));
        acceptor_.bind(endpoint);
        acceptor_.listen(boost::asio::socket_base::max_listen_connections);
    } catch (const boost::system::system_error&) {
        // Not yet accepting, so no handler can hold it: a later open starts afresh.
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        throw;
    }
    closed_ = false;
    return acceptor_.local_endpoint().port();
}

void TcpListener::start(OnAccept onAccept) {
    boost::asio::post(strand_, [this, onAccept = std::move(onAccept)]() mutable {
        onAccept_ = std::move(onAccept);
        doAccept();
    });
}

void TcpListener::close() {
    boost::asio::post(strand_, [this] {
        closed_ = true;
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        retry_.cancel();
    });
}

void TcpListener::doAccept() {
    if (closed_) return;
    auto handler = [this](const boost::system::error_code& ec, tcp::socket socket) { onAccept(ec, std::move(socket)); };
    if (sockets_ == Sockets::OwnStrand) {
        acceptor_.async_accept(boost::asio::make_strand(io_), std::move(handler));
    } else {
        acceptor_.async_accept(io_.get_executor(), std::move(handler));
    }
}

void TcpListener::onAccept(const boost::system::error_code& ec, tcp::socket socket) {
    if (closed_) return;  // the socket closes with its owner, here
    if (ec) {
        if (const auto held = failures_.allow()) {
            LV_ERROR("Accept failed: {}{}", ec.message(),
                     *held ? fmt::format(" ({} more since the last report)", *held) : std::string());
        }
        retry_.expires_after(kRetryDelay);
        retry_.async_wait([this](const boost::system::error_code& waitEc) {
            if (!waitEc) doAccept();
        });
        return;
    }
    onAccept_(std::move(socket));
    doAccept();
}

}  // namespace lumivane::host
