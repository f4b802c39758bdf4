#pragma once
// Turns --host (an IPv4 address or a name) into an address, once per run.

#include <boost/asio/ip/address_v4.hpp>

#include <optional>
#include <string>

namespace lumivane::client {

// Empty optional and `error` when the name does not resolve to an IPv4 address.
std::optional<boost::asio::ip::address_v4> resolveIpv4(const std::string& host, std::string& error);

}  // namespace lumivane::client
