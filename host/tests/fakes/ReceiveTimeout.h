#pragma once

#include <chrono>
#include <cstdint>

namespace lumivane::host::test {

// Blocking reads on the socket give up after `timeout` (the platform's socket option).
void setReceiveTimeout(std::uintptr_t socket, std::chrono::seconds timeout);

}  // namespace lumivane::host::test
