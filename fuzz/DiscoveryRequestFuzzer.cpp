// A discovery datagram as the responder reads it.
#include "FuzzSupport.h"
#include "network/DiscoveryResponder.h"

#include <cstring>

using namespace lumivane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The responder reads at most this much of a datagram.
    size = std::min<std::size_t>(size, 1023);
    const auto name = host::DiscoveryResponder::requestClientName(data, size);
    const bool request = size >= 17 && std::memcmp(data, "LUMIVANE_DISCOVER", 17) == 0;
    fuzz::require(name.has_value() == request, "exactly the datagrams with the magic are requests");
    if (!name) return 0;
    fuzz::require(name->find('\0') == std::string::npos, "the name ends at the first NUL");
    if (size <= 18) fuzz::require(*name == "Unknown", "a request without a name is from Unknown");
    else fuzz::require(name->size() <= size - 18, "the name lies within the datagram");
    return 0;
}
