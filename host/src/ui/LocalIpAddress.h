#pragma once

#include <string>

namespace lumivane::host {

// The IPv4 address of the interface that would reach the internet, found by "connecting"
// a UDP socket to a public address (nothing is sent). "127.0.0.1" when no socket can be
// opened; `current` when there is no route. Logs "Detected local IP address: {}" unless
// the socket could not be opened.
std::string detectLocalIpAddress(const std::string& current);

}  // namespace lumivane::host
