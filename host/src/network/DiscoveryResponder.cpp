#include "network/DiscoveryResponder.h"

#include "core/Loggable.h"
#include "core/Logging.h"

#include <cstring>

namespace lumivane::host {

namespace {

constexpr char kRequestMagic[] = "LUMIVANE_DISCOVER";
constexpr std::size_t kMagicLength = sizeof kRequestMagic - 1;
constexpr char kResponseMagic[] = "LUMIVANE_HOST";
constexpr std::size_t kMaxDatagram = 1023;

}  // namespace

DiscoveryResponder::DiscoveryResponder(std::string hostName, std::uint16_t signallingPort,
                                       std::uint16_t discoveryPort)
    : hostName_(std::move(hostName)), signallingPort_(signallingPort), port_(discoveryPort) {}

DiscoveryResponder::~DiscoveryResponder() { stop(); }

bool DiscoveryResponder::start() {
    if (running_) {
        LV_WARN("Discovery responder already running");
        return true;
    }
    if (!socket_.open()) {
        LV_ERROR("Failed to create discovery socket: {}", UdpSocket::lastError());
        return false;
    }
    if (!socket_.setReuseAddress()) LV_WARN("Failed to set SO_REUSEADDR: {}", UdpSocket::lastError());
    if (!socket_.setBroadcast()) LV_WARN("Failed to set SO_BROADCAST: {}", UdpSocket::lastError());
    if (!socket_.bindAny(port_)) {
        LV_ERROR("Failed to bind discovery socket to port {}: {}", port_.load(), UdpSocket::lastError());
        socket_.close();
        return false;
    }
    port_ = socket_.localPort();
    running_ = true;
    listener_ = std::thread([this] { listenerThread(); });
    LV_INFO("Discovery responder started on UDP port {}", port_.load());
    return true;
}

// The socket is closed only after the join, so the listener never waits on a closed
// (and possibly reused) descriptor.
void DiscoveryResponder::stop() {
    if (!running_.exchange(false)) return;
    if (listener_.joinable()) listener_.join();
    socket_.close();
    LV_INFO("Discovery responder stopped");
}

void DiscoveryResponder::listenerThread() {
    std::uint8_t buffer[kMaxDatagram + 1];
    while (running_) {
        if (socket_.waitReadable(1000) != UdpSocket::Wait::Readable) continue;
        DatagramPeer from;
        const long n = socket_.receiveFrom(buffer, kMaxDatagram, from);
        if (n <= 0) {
            const int error = UdpSocket::lastError();
            if (running_ && n < 0 && !UdpSocket::isBenignReceiveError(error))
                LV_WARN("Discovery recvfrom error: {}", error);
            continue;
        }
        buffer[n] = 0;
        handleDatagram(buffer, static_cast<std::size_t>(n), from);
    }
}

std::optional<std::string> DiscoveryResponder::requestClientName(const std::uint8_t* data, std::size_t size) {
    if (size < kMagicLength || std::memcmp(data, kRequestMagic, kMagicLength) != 0) return std::nullopt;
    std::string clientName = "Unknown";
    if (size > kMagicLength + 1) {
        const char* name = reinterpret_cast<const char*>(data + kMagicLength + 1);
        clientName.assign(name, strnlen(name, size - kMagicLength - 1));
    }
    return clientName;
}

void DiscoveryResponder::handleDatagram(const std::uint8_t* data, std::size_t size, const DatagramPeer& from) {
    const auto clientName = requestClientName(data, size);
    if (!clientName) return;
    LV_INFO("Discovery request from {} ({})", UdpSocket::addressText(from), loggable(*clientName));
    sendResponse(from);
}

std::vector<std::uint8_t> DiscoveryResponder::response() const {
    std::vector<std::uint8_t> out;
    out.reserve(80);
    const std::string magic = kResponseMagic;
    const std::string port = std::to_string(signallingPort_);
    for (const std::string* part : {&magic, &hostName_, &port}) {
        out.insert(out.end(), part->begin(), part->end());
        out.push_back(0);
    }
    return out;
}

void DiscoveryResponder::sendResponse(const DatagramPeer& to) {
    const auto bytes = response();
    if (!socket_.sendTo(bytes.data(), bytes.size(), to))
        LV_ERROR("Failed to send discovery response: {}", UdpSocket::lastError());
}

}  // namespace lumivane::host
