#include "fakes/ReceiveTimeout.h"

#include <sys/socket.h>
#include <sys/time.h>

namespace lumivane::host::test {

void setReceiveTimeout(std::uintptr_t socket, std::chrono::seconds timeout) {
    timeval tv{static_cast<long>(timeout.count()), 0};
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

}  // namespace lumivane::host::test
