#pragma once
// What the dashboard shows about the connected client, measured rather than assumed.

#include <cstdint>
#include <string>

namespace lumivane::host {

struct ClientStatistics {
    bool connected = false;
    std::string clientName;
    std::string clientAddress;
    std::int32_t fps = 0;        // video frames handed to the socket in the last second
    float latencyMs = 0;         // round-trip time of the latest feedback; 0 before any
    float bitrateMbps = 0;       // video bits handed to the socket in the last second
};

}  // namespace lumivane::host
