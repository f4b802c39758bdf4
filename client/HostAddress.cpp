#include "HostAddress.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace lumivane::client {

std::optional<boost::asio::ip::address_v4> resolveIpv4(const std::string& host, std::string& error) {
    boost::system::error_code ec;
    auto address = boost::asio::ip::make_address_v4(host, ec);
    if (!ec) return address;
    boost::asio::io_context io;
    boost::asio::ip::tcp::resolver resolver(io);
    auto results = resolver.resolve(boost::asio::ip::tcp::v4(), host, "", ec);
    if (ec || results.empty()) {
        error = "cannot resolve host '" + host + "'" + (ec ? ": " + ec.message() : "");
        return std::nullopt;
    }
    return results.begin()->endpoint().address().to_v4();
}

}  // namespace lumivane::client
