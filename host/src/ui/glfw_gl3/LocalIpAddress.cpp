#include "ui/LocalIpAddress.h"

#include "core/Logging.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumivane::host {
namespace {

class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string detectLocalIpAddress(const std::string& current) {
    Socket socket;
    if (socket.fd() < 0) return "127.0.0.1";

    std::string address = current;
    sockaddr_in publicHost{};
    publicHost.sin_family = AF_INET;
    publicHost.sin_port = htons(53);
    ::inet_pton(AF_INET, "8.8.8.8", &publicHost.sin_addr);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    char text[INET_ADDRSTRLEN] = {};
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&publicHost), sizeof publicHost) == 0 &&
        ::getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text)) {
        address = text;
    }
    LV_INFO("Detected local IP address: {}", address);
    return address;
}

}  // namespace lumivane::host
