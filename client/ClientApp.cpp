#include "ClientApp.h"

#include "ClientSession.h"
#include "HostAddress.h"
#include "Reporter.h"

#include <fmt/format.h>

namespace lumivane::client {

std::vector<DiscoveryAnswer> ClientApp::discover(const boost::asio::ip::address_v4& address, ExitCode& code) {
    DiscoveryClient::Target target{address, options_.discoveryPort, options_.broadcast};
    std::string error;
    auto answers = DiscoveryClient::discover(target, options_.clientName, static_cast<int>(options_.timeoutMs), error);
    for (const auto& a : answers) {
        reporter_.emit("discovered", {{"address", a.address}, {"hostName", a.hostName}, {"port", a.signallingPort}});
    }
    if (!error.empty()) {
        code = ExitCode::Failure;
        reporter_.error(error, code);
    } else if (answers.empty()) {
        code = ExitCode::Unreachable;
        const auto where = options_.broadcast ? std::string("on the local network")
                                              : fmt::format("at {}", address.to_string());
        reporter_.error(fmt::format("no host answered discovery {} (UDP port {}) within {} ms", where,
                                    options_.discoveryPort, options_.timeoutMs),
                        code);
    }
    return error.empty() ? answers : std::vector<DiscoveryAnswer>{};
}

ExitCode ClientApp::run(bool handleSignals) {
    std::string error;
    auto address = resolveIpv4(options_.host, error);
    if (!address) {
        reporter_.error(error, ExitCode::Unreachable);
        return ExitCode::Unreachable;
    }
    ExitCode code = ExitCode::Ok;
    std::uint16_t port = options_.port;
    if (options_.command == Command::Discover || options_.discoverFirst) {
        auto answers = discover(*address, code);
        if (options_.command == Command::Discover || answers.empty()) return code;
        address = boost::asio::ip::make_address_v4(answers.front().address);
        port = answers.front().signallingPort;
    }
    ClientSession session(options_, reporter_);
    if (handleSignals) session.stopOnSignals();
    session.setPictureHook(pictureHook_);
    return session.run(*address, port);
}

}  // namespace lumivane::client
