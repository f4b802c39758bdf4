#include "network/TcpServerSupport.h"

#include "core/Logging.h"

namespace lumivane::host {

using boost::asio::ip::tcp;

std::string peerText(const tcp::socket& socket) {
    boost::system::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    if (ec) return "unknown";
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

std::optional<boost::asio::ip::address> peerAddress(const tcp::socket& socket) {
    boost::system::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    if (ec) return std::nullopt;
    return endpoint.address();
}

bool admitConnection(tcp::socket& socket, const PeerCheck& check, const char* channel, RateLimit& limit) {
    const auto address = peerAddress(socket);
    boost::system::error_code ignored;
    if (!address) {
        socket.close(ignored);
        return false;
    }
    if (!check || check(*address)) return true;
    if (const auto held = limit.allow()) {
        LV_WARN("Refused {} connection from {}: no signalling session from that address{}", channel,
                address->to_string(), *held ? fmt::format(" ({} more refused since)", *held) : std::string());
    }
    socket.set_option(boost::asio::socket_base::linger(true, 0), ignored);
    socket.close(ignored);
    return false;
}

}  // namespace lumivane::host
