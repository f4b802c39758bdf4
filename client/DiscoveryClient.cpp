#include "DiscoveryClient.h"

#include "TextScan.h"
#include "network/UdpSocket.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

namespace lumivane::client {

namespace {

constexpr char kRequestPrefix[] = "LUMIVANE_DISCOVER";
constexpr char kAnswerPrefix[] = "LUMIVANE_HOST";
constexpr int kSends = 3;

host::DatagramPeer peerOf(const DiscoveryClient::Target& target) {
    const auto bytes = target.broadcast ? boost::asio::ip::address_v4::broadcast().to_bytes()
                                        : target.address.to_bytes();
    host::DatagramPeer peer;
    std::memcpy(&peer.address, bytes.data(), 4);  // stays in network order
    peer.port = target.port;
    return peer;
}

bool isKnown(const std::vector<DiscoveryAnswer>& found, const DiscoveryAnswer& answer) {
    return std::any_of(found.begin(), found.end(), [&](const DiscoveryAnswer& a) {
        return a.address == answer.address && a.signallingPort == answer.signallingPort;
    });
}

}  // namespace

std::vector<std::uint8_t> discoveryRequest(const std::string& clientName) {
    std::vector<std::uint8_t> out(kRequestPrefix, kRequestPrefix + sizeof kRequestPrefix - 1);
    out.push_back(' ');
    out.insert(out.end(), clientName.begin(), clientName.end());
    return out;
}

std::optional<DiscoveryAnswer> parseDiscoveryAnswer(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t prefix = sizeof kAnswerPrefix;  // the name's NUL included
    if (text.size() < prefix || text.substr(0, prefix) != std::string_view(kAnswerPrefix, prefix)) return std::nullopt;
    const auto nameEnd = text.find('\0', prefix);
    if (nameEnd == std::string_view::npos) return std::nullopt;
    auto portText = text.substr(nameEnd + 1);
    if (!portText.empty() && portText.back() == '\0') portText.remove_suffix(1);
    auto port = portText.size() <= 5 && !portText.starts_with("0x") ? parseUnsigned(portText, 65535) : std::nullopt;
    if (!port || *port == 0) return std::nullopt;
    return DiscoveryAnswer{"", std::string(text.substr(prefix, nameEnd - prefix)), static_cast<std::uint16_t>(*port)};
}

std::vector<DiscoveryAnswer> DiscoveryClient::discover(const Target& target, const std::string& clientName,
                                                       int timeoutMs, std::string& error) {
    host::UdpSocket socket;
    if (!socket.open() || (target.broadcast && !socket.setBroadcast()) || !socket.bindAny(0)) {
        error = "cannot open a UDP socket for discovery (error " + std::to_string(host::UdpSocket::lastError()) + ")";
        return {};
    }
    const auto request = discoveryRequest(clientName);
    const auto peer = peerOf(target);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    auto sendTime = [&](int i) { return start + std::chrono::milliseconds(timeoutMs) * i / kSends; };
    std::vector<DiscoveryAnswer> found;
    std::array<std::uint8_t, 1500> buffer{};
    for (int sent = 0;;) {
        const auto now = std::chrono::steady_clock::now();
        if (sent < kSends && now >= sendTime(sent)) {
            if (!socket.sendTo(request.data(), request.size(), peer)) {
                error = "cannot send the discovery request (error " + std::to_string(host::UdpSocket::lastError()) + ")";
                return found;
            }
            ++sent;
            continue;
        }
        if (now >= deadline) break;
        const auto until = sent < kSends ? sendTime(sent) : deadline;
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        const auto wait = socket.waitReadable(static_cast<int>(waitMs));
        if (wait == host::UdpSocket::Wait::Failed && !host::UdpSocket::isBenignReceiveError(host::UdpSocket::lastError())) {
            error = "waiting for discovery answers failed (error " + std::to_string(host::UdpSocket::lastError()) + ")";
            return found;
        }
        if (wait != host::UdpSocket::Wait::Readable) continue;
        host::DatagramPeer from;
        const long n = socket.receiveFrom(buffer.data(), buffer.size(), from);
        auto answer = n > 0 ? parseDiscoveryAnswer(buffer.data(), static_cast<std::size_t>(n)) : std::nullopt;
        if (!answer) continue;
        answer->address = host::UdpSocket::addressText(from);
        if (!isKnown(found, *answer)) found.push_back(*answer);
        if (!target.broadcast) break;
    }
    return found;
}

}  // namespace lumivane::client
