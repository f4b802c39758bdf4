#pragma once
// The 8 bytes between the media header and the frame data of a video packet.

#include "core/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host {

struct VideoFrameHeader {
    static constexpr std::size_t kSize = 8;
    static constexpr std::uint8_t kKeyframe = 1;
    static constexpr std::uint8_t kOtherFrame = 3;

    std::uint32_t timestamp = 0;  // 90 kHz ticks, low 32 bits
    std::uint8_t frameType = kOtherFrame;
    std::uint8_t reserved[3] = {0, 1, 0};  // clients expect exactly these values

    void writeTo(std::uint8_t* out) const {
        storeLe32(out, timestamp);
        out[4] = frameType;
        out[5] = reserved[0];
        out[6] = reserved[1];
        out[7] = reserved[2];
    }

    static VideoFrameHeader readFrom(const std::uint8_t* in) {
        return {loadLe32(in), in[4], {in[5], in[6], in[7]}};
    }
};

static_assert(sizeof(VideoFrameHeader) == VideoFrameHeader::kSize);
static_assert(offsetof(VideoFrameHeader, frameType) == 4);
static_assert(offsetof(VideoFrameHeader, reserved) == 5);

}  // namespace lumivane::host
