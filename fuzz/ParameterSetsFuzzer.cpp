// An encoder's access unit scanned for parameter sets (the bytes come from the encoder,
// but a broken unit must not take the host down).
#include "FuzzSupport.h"
#include "encode/ParameterSets.h"

using namespace lumivane;
using namespace lumivane::host;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = (fuzz::quietLogging(), true);
    (void)quiet;
    if (size == 0) return 0;
    const bool hevc = data[0] & 1;
    ParameterSets sets;
    sets.extractParameterSets(data + 1, size - 1, hevc);
    const CodecConfig config = sets.codecConfig();
    for (const auto* set : {&config.sps, &config.pps, &config.vps})
        fuzz::require(set->size() < size, "a parameter set lies within the unit");
    describeNalType(data + 1, size - 1);
    return 0;
}
