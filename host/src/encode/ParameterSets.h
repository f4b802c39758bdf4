#pragma once
// The latest SPS, PPS and (HEVC) VPS seen in an encoder's keyframes, kept for the
// client's stream configuration. Each encoder embeds one.

#include "encode/EncoderTypes.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace lumivane::host {

class ParameterSets {
public:
    // Scans one Annex-B access unit; the last set of each kind wins, and kinds the unit
    // lacks keep their earlier value. Buffers under 5 bytes change nothing.
    void extractParameterSets(const std::uint8_t* data, std::size_t size, bool isHevc);
    CodecConfig codecConfig() const;

private:
    mutable std::mutex codecMutex_;
    CodecConfig config_;
};

// Name of the first NAL unit's type (H.264 numbering whatever the codec), for logs.
const char* describeNalType(const std::uint8_t* data, std::size_t size);

}  // namespace lumivane::host
