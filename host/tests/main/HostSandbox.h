#pragma once
// A private home for one run of the host binary: a temporary folder holding its settings
// (XDG_CONFIG_HOME) and its log (XDG_STATE_HOME), ports that were free a moment ago, and
// the host started there as a child process.

#include "main/ChildProcess.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumivane::host {

namespace fs = std::filesystem;

// Free loopback ports now; the host binds them a moment later.
inline std::vector<std::uint16_t> freePorts(int count) {
    boost::asio::io_context io;
    std::vector<boost::asio::ip::tcp::acceptor> held;
    std::vector<std::uint16_t> ports;
    for (int i = 0; i < count; ++i) {
        held.emplace_back(io, boost::asio::ip::tcp::endpoint(boost::asio::ip::tcp::v4(), 0));
        ports.push_back(held.back().local_endpoint().port());
    }
    return ports;
}

struct HostPorts {
    std::uint16_t signaling = 0, video = 0, audio = 0, input = 0;
};

class HostSandbox {
public:
    explicit HostSandbox(const std::string& name) {
        std::string pattern = "/tmp/lumivane-" + name + ".XXXXXX";
        root_ = mkdtemp(pattern.data());
        fs::create_directories(root_ / "config" / "Lumivane");
    }
    ~HostSandbox() {
        host_.reset();
        fs::remove_all(root_);
    }
    HostSandbox(const HostSandbox&) = delete;
    HostSandbox& operator=(const HostSandbox&) = delete;

    const fs::path& root() const { return root_; }
    fs::path logFile() const { return root_ / "state" / "Lumivane" / "logs" / "LumivaneHost.log"; }

    std::map<std::string, std::string> environment() const {
        return {{"XDG_CONFIG_HOME", (root_ / "config").string()},
                {"XDG_STATE_HOME", (root_ / "state").string()},
                {"LOCALAPPDATA", ""}};
    }
    // Fresh ports in the settings file; extra is appended as further JSON members.
    HostPorts writeSettings(const std::string& extra = "") {
        const auto free = freePorts(4);
        ports_ = {free[0], free[1], free[2], free[3]};
        std::ofstream(root_ / "config" / "Lumivane" / "settings.json")
            << R"({"signalingPort":)" << ports_.signaling << R"(,"videoPort":)" << ports_.video
            << R"(,"audioPort":)" << ports_.audio << R"(,"inputPort":)" << ports_.input << extra << "}";
        return ports_;
    }
    const HostPorts& ports() const { return ports_; }

    // binary: another build of the host, for comparisons.
    ChildProcess& startHost(std::map<std::string, std::string> envOverrides = {},
                            const std::string& binary = LUMIVANE_HOST_PATH) {
        auto env = environment();
        for (auto& [k, v] : envOverrides) env[k] = v;
        host_ = std::make_unique<ChildProcess>(std::vector<std::string>{binary}, env);
        return *host_;
    }
    ChildProcess& host() { return *host_; }

private:
    fs::path root_;
    HostPorts ports_;
    std::unique_ptr<ChildProcess> host_;
};

}  // namespace lumivane::host
