#pragma once
// The misbehaving clients of a soak run. Each runs in a process of its own (the soak
// starts `lumivane-soak --act NAME ...`), so it can be killed at any moment like a
// crashing headset, and a host that never answers cannot hang the soak itself.

#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::soak {

struct HostAddress {
    std::uint16_t signaling = 0, video = 0, audio = 0, input = 0;
    std::uint32_t windowId = 0;
};

// Names in the order the soak cycles through them.
const std::vector<std::string>& churnActionNames();
// The action "stream" prints "stream N" once its stream started and then waits to be
// killed. Returns the process's exit status; unknown names return 2.
int runChurnAction(const std::string& name, const HostAddress& host);

}  // namespace lumivane::soak
