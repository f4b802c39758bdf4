#pragma once
// Pieces every TCP server here shares: listening and naming a peer without throwing.

#include <boost/asio/ip/tcp.hpp>

#include <cstdint>
#include <string>

namespace lumivane::host {

// Opens, binds (IPv4 any) and listens; throws boost::system::system_error on failure.
// Returns the bound port, which differs from `port` when that is 0.
std::uint16_t openListeningAcceptor(boost::asio::ip::tcp::acceptor& acceptor, std::uint16_t port);

// "address:port" of the peer, or "unknown" when the peer has already gone.
std::string peerText(const boost::asio::ip::tcp::socket& socket);

}  // namespace lumivane::host
