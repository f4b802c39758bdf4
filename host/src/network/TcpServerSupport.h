#pragma once
// Pieces every TCP server here shares: naming a peer without throwing, and deciding
// whether a peer may steer the host.

#include "core/RateLimit.h"

#include <boost/asio/ip/tcp.hpp>

#include <functional>
#include <optional>
#include <string>

namespace lumivane::host {

// Whether input, feedback, keyframe requests and data connections from this address are
// accepted (the application answers: does the address hold a signalling session). Unset,
// every address is.
using PeerCheck = std::function<bool(const boost::asio::ip::address&)>;

// "address:port" of the peer, or "unknown" when the peer has already gone.
std::string peerText(const boost::asio::ip::tcp::socket& socket);
// The peer's address, or nothing when the peer has already gone.
std::optional<boost::asio::ip::address> peerAddress(const boost::asio::ip::tcp::socket& socket);

// Applies `check` to a new connection. A refused one is closed at once and reported in one
// line per interval of `limit`; so is one whose peer has already gone (silently).
bool admitConnection(boost::asio::ip::tcp::socket& socket, const PeerCheck& check, const char* channel,
                     RateLimit& limit);

}  // namespace lumivane::host
