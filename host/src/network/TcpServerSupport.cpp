#include "network/TcpServerSupport.h"

namespace lumivane::host {

using boost::asio::ip::tcp;

std::uint16_t openListeningAcceptor(tcp::acceptor& acceptor, std::uint16_t port) {
    const tcp::endpoint endpoint(tcp::v4(), port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
    return acceptor.local_endpoint().port();
}

std::string peerText(const tcp::socket& socket) {
    boost::system::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    if (ec) return "unknown";
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

}  // namespace lumivane::host
