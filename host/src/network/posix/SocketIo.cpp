#include "network/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace lumivane::host {

bool setSendTimeout(NativeSocketHandle socket, int timeoutMs) {
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

namespace {

constexpr std::size_t kMaxParts = 8;

// Drops the first `sent` bytes from the iovec window [first, count).
void advance(iovec* iov, std::size_t count, std::size_t& first, std::size_t sent) {
    while (first < count && sent >= iov[first].iov_len) {
        sent -= iov[first].iov_len;
        ++first;
    }
    if (first < count) {
        iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + sent;
        iov[first].iov_len -= sent;
    }
}

}  // namespace

bool sendAllWithTimeout(NativeSocketHandle socket, const SendPart* parts, std::size_t count,
                        int timeoutMs, std::string& error) {
    if (count > kMaxParts) {
        error = "too many buffers";
        return false;
    }
    iovec iov[kMaxParts];
    for (std::size_t i = 0; i < count; ++i)
        iov[i] = {const_cast<std::uint8_t*>(parts[i].data), parts[i].size};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t first = 0;
    advance(iov, count, first, 0);
    while (first < count) {
        msghdr msg{};
        msg.msg_iov = iov + first;
        msg.msg_iovlen = count - first;
        const ssize_t n = ::sendmsg(socket, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            advance(iov, count, first, static_cast<std::size_t>(n));
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = std::strerror(errno);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            error = "send timed out";
            return false;
        }
        pollfd pfd{socket, POLLOUT, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            error = std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace lumivane::host
