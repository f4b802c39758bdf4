#include "fakes/ReceiveTimeout.h"

#include <winsock2.h>

namespace lumivane::host::test {

void setReceiveTimeout(std::uintptr_t socket, std::chrono::seconds timeout) {
    const DWORD ms = static_cast<DWORD>(std::chrono::milliseconds(timeout).count());
    ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

}  // namespace lumivane::host::test
