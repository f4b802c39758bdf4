#pragma once
// Finds hosts over UDP: one request unicast to a known address (or, only when the user
// asks for it, broadcast to the local network), answers collected until a deadline.

#include <boost/asio/ip/address_v4.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::client {

struct DiscoveryAnswer {
    std::string address;  // where the answer came from
    std::string hostName;
    std::uint16_t signallingPort = 0;
};

std::vector<std::uint8_t> discoveryRequest(const std::string& clientName);
// The name and port of a host's answer; empty when the bytes are not one.
std::optional<DiscoveryAnswer> parseDiscoveryAnswer(const std::uint8_t* data, std::size_t size);

class DiscoveryClient {
public:
    struct Target {
        boost::asio::ip::address_v4 address;  // ignored when broadcasting
        std::uint16_t port = 9877;
        bool broadcast = false;
    };

    // Sends the request up to three times while waiting. A unicast search ends with the
    // first answer; a broadcast one collects distinct hosts until the deadline.
    // Empty with `error` set when the socket failed; empty without error when no host answered.
    static std::vector<DiscoveryAnswer> discover(const Target& target, const std::string& clientName,
                                                 int timeoutMs, std::string& error);
};

}  // namespace lumivane::client
