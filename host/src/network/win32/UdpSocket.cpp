// UdpSocket over Winsock. Winsock is started once per process, on the first socket, and
// left running: the process's other servers use it too.
#include "network/UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

namespace lumivane::host {
namespace {

bool startWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

}  // namespace

struct UdpSocket::Handle {
    SOCKET socket = INVALID_SOCKET;
};

UdpSocket::UdpSocket() : handle_(std::make_unique<Handle>()) {}

UdpSocket::~UdpSocket() { close(); }

bool UdpSocket::open() {
    close();
    if (!startWinsock()) return false;
    handle_->socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    return handle_->socket != INVALID_SOCKET;
}

bool UdpSocket::isOpen() const { return handle_->socket != INVALID_SOCKET; }

void UdpSocket::close() {
    if (handle_->socket != INVALID_SOCKET) closesocket(handle_->socket);
    handle_->socket = INVALID_SOCKET;
}

bool UdpSocket::setReuseAddress() {
    const BOOL one = TRUE;
    return setsockopt(handle_->socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one) == 0;
}

bool UdpSocket::setBroadcast() {
    const BOOL one = TRUE;
    return setsockopt(handle_->socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one) == 0;
}

bool UdpSocket::bindAny(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    return ::bind(handle_->socket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

std::uint16_t UdpSocket::localPort() const {
    sockaddr_in addr{};
    int len = sizeof addr;
    if (getsockname(handle_->socket, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

UdpSocket::Wait UdpSocket::waitReadable(int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(handle_->socket, &readable);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = select(0, &readable, nullptr, nullptr, &tv);
    if (n == SOCKET_ERROR) return Wait::Failed;
    return n == 0 ? Wait::TimedOut : Wait::Readable;
}

long UdpSocket::receiveFrom(std::uint8_t* buffer, std::size_t capacity, DatagramPeer& from) {
    sockaddr_in addr{};
    int len = sizeof addr;
    const int n = recvfrom(handle_->socket, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                           reinterpret_cast<sockaddr*>(&addr), &len);
    // A datagram longer than the buffer arrives cut to it, as on POSIX; its start is read.
    const bool cut = n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE;
    if (n == SOCKET_ERROR && !cut) return -1;
    from.address = addr.sin_addr.s_addr;
    from.port = ntohs(addr.sin_port);
    return cut ? static_cast<long>(capacity) : n;
}

bool UdpSocket::sendTo(const std::uint8_t* data, std::size_t size, const DatagramPeer& to) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = to.address;
    addr.sin_port = htons(to.port);
    return sendto(handle_->socket, reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                  reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == static_cast<int>(size);
}

int UdpSocket::lastError() { return WSAGetLastError(); }

bool UdpSocket::isBenignReceiveError(int error) { return error == WSAEINTR || error == WSAECONNRESET; }

std::string UdpSocket::addressText(const DatagramPeer& peer) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr addr{};
    addr.s_addr = peer.address;
    if (!inet_ntop(AF_INET, &addr, text, sizeof text)) return "unknown";
    return text;
}

}  // namespace lumivane::host
