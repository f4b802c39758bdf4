#pragma once
// Thin IPv4 datagram socket over the OS socket calls; one instance owns one OS socket.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumivane::host {

struct DatagramPeer {
    std::uint32_t address = 0;  // network byte order
    std::uint16_t port = 0;     // host byte order
};

class UdpSocket {
public:
    enum class Wait { Readable, TimedOut, Failed };

    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool open();
    bool isOpen() const;
    void close();
    bool setReuseAddress();
    bool setBroadcast();
    bool bindAny(std::uint16_t port);
    std::uint16_t localPort() const;
    Wait waitReadable(int timeoutMs);
    // Bytes received (0 or more), or -1 on error.
    long receiveFrom(std::uint8_t* buffer, std::size_t capacity, DatagramPeer& from);
    bool sendTo(const std::uint8_t* data, std::size_t size, const DatagramPeer& to);

    // Code of the last failed call (errno here, WSAGetLastError elsewhere).
    static int lastError();
    // Errors a receive loop should pass over without a warning.
    static bool isBenignReceiveError(int error);
    static std::string addressText(const DatagramPeer& peer);

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace lumivane::host
