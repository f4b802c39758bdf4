#include "ui/LocalIpAddress.h"

#include "core/Logging.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace lumivane::host {

// Winsock stays started afterwards: the process's servers use it too.
std::string detectLocalIpAddress(const std::string& current) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return "127.0.0.1";
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == INVALID_SOCKET) {
        WSACleanup();
        return "127.0.0.1";
    }
    std::string address = current;
    sockaddr_in publicHost{};
    publicHost.sin_family = AF_INET;
    publicHost.sin_port = htons(53);
    inet_pton(AF_INET, "8.8.8.8", &publicHost.sin_addr);
    sockaddr_in local{};
    int length = sizeof local;
    char text[INET_ADDRSTRLEN] = {};
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&publicHost), sizeof publicHost) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof text)) {
        address = text;
    }
    closesocket(socket);
    LV_INFO("Detected local IP address: {}", address);
    return address;
}

}  // namespace lumivane::host
