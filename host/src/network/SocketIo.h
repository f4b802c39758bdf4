#pragma once
// Small OS socket calls the Asio servers need beyond what Asio offers portably.

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumivane::host {

#if defined(_WIN32)
using NativeSocketHandle = std::uintptr_t;
#else
using NativeSocketHandle = int;
#endif

struct SendPart {
    const std::uint8_t* data;
    std::size_t size;
};

// Sets SO_SNDTIMEO; the result is ignored by callers on purpose.
bool setSendTimeout(NativeSocketHandle socket, int timeoutMs);

// Writes every part in order, waiting at most timeoutMs in total for the peer to take them.
// Works on a socket Asio has put in non-blocking mode, where SO_SNDTIMEO has no effect.
bool sendAllWithTimeout(NativeSocketHandle socket, const SendPart* parts, std::size_t count,
                        int timeoutMs, std::string& error);

}  // namespace lumivane::host
