#pragma once
// Parameter-set scan of Annex-B keyframes, used until the shared encoder scan lands.

#include "encode/EncoderTypes.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host::software {

// Replaces the sets found in data; the caller holds the lock guarding config.
void extractParameterSets(const std::uint8_t* data, std::size_t size, bool isHevc, CodecConfig& config);
// Name of the first NAL unit's type, H.264 numbering.
const char* describeNalType(const std::uint8_t* data, std::size_t size);

}  // namespace lumivane::host::software
