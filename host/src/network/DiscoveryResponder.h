#pragma once
// Answers LAN discovery requests with the host's name and signalling port.

#include "network/UdpSocket.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lumivane::host {

class DiscoveryResponder {
public:
    static constexpr std::uint16_t kDefaultPort = 9877;

    // discoveryPort 0 binds an ephemeral port (tests, several hosts on one machine).
    DiscoveryResponder(std::string hostName, std::uint16_t signallingPort,
                       std::uint16_t discoveryPort = kDefaultPort);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    bool start();
    // Returns within about a second: the listener wakes once a second to check.
    void stop();
    std::uint16_t port() const { return port_.load(); }

    // The answer every valid request gets.
    std::vector<std::uint8_t> response() const;
    // The client name a request carries ("Unknown" when none); empty for a datagram that
    // is no request.
    static std::optional<std::string> requestClientName(const std::uint8_t* data, std::size_t size);

private:
    void listenerThread();
    void handleDatagram(const std::uint8_t* data, std::size_t size, const DatagramPeer& from);
    void sendResponse(const DatagramPeer& to);

    const std::string hostName_;
    const std::uint16_t signallingPort_;
    std::atomic<std::uint16_t> port_;
    UdpSocket socket_;
    std::thread listener_;
    std::atomic<bool> running_{false};
};

}  // namespace lumivane::host
