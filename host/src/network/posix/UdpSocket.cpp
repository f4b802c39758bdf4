#include "network/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace lumivane::host {

struct UdpSocket::Handle {
    int fd = -1;
};

UdpSocket::UdpSocket() : handle_(std::make_unique<Handle>()) {}

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::open() {
    close();
    handle_->fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    return handle_->fd >= 0;
}

bool UdpSocket::isOpen() const { return handle_->fd >= 0; }

void UdpSocket::close() {
    if (handle_->fd >= 0) ::close(handle_->fd);
    handle_->fd = -1;
}

bool UdpSocket::setReuseAddress() {
    const int one = 1;
    return ::setsockopt(handle_->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
}

bool UdpSocket::setBroadcast() {
    const int one = 1;
    return ::setsockopt(handle_->fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) == 0;
}

bool UdpSocket::bindAny(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    return ::bind(handle_->fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

std::uint16_t UdpSocket::localPort() const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(handle_->fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

UdpSocket::Wait UdpSocket::waitReadable(int timeoutMs) {
    // poll, not select: with the descriptor limit raised, the socket may lie beyond
    // select's fixed set.
    pollfd entry{handle_->fd, POLLIN, 0};
    const int n = ::poll(&entry, 1, timeoutMs);
    if (n < 0) return Wait::Failed;
    return n == 0 ? Wait::TimedOut : Wait::Readable;
}

long UdpSocket::receiveFrom(std::uint8_t* buffer, std::size_t capacity, DatagramPeer& from) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    const ssize_t n = ::recvfrom(handle_->fd, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&addr), &len);
    if (n < 0) return -1;
    from.address = addr.sin_addr.s_addr;
    from.port = ntohs(addr.sin_port);
    return static_cast<long>(n);
}

bool UdpSocket::sendTo(const std::uint8_t* data, std::size_t size, const DatagramPeer& to) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = to.address;
    addr.sin_port = htons(to.port);
    return ::sendto(handle_->fd, data, size, 0, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) ==
           static_cast<ssize_t>(size);
}

int UdpSocket::lastError() { return errno; }

bool UdpSocket::isBenignReceiveError(int error) { return error == EINTR || error == ECONNRESET; }

std::string UdpSocket::addressText(const DatagramPeer& peer) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr addr{};
    addr.s_addr = peer.address;
    if (!::inet_ntop(AF_INET, &addr, text, sizeof text)) return "unknown";
    return text;
}

}  // namespace lumivane::host
