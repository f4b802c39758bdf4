#pragma once
// The 8 bytes after the length prefix of every video and audio packet.

#include "core/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host {

struct MediaPacketHeader {
    static constexpr std::size_t kSize = 8;
    static constexpr std::uint8_t kVideo = 1;
    static constexpr std::uint8_t kAudio = 2;

    std::uint8_t version = 1;
    std::uint8_t packetType = kVideo;
    std::uint8_t streamId = 0;
    std::uint8_t flags = 0;
    std::uint16_t sequence = 0;
    std::uint16_t payloadLength = 0;

    void writeTo(std::uint8_t* out) const {
        out[0] = version;
        out[1] = packetType;
        out[2] = streamId;
        out[3] = flags;
        storeLe16(out + 4, sequence);
        storeLe16(out + 6, payloadLength);
    }

    static MediaPacketHeader readFrom(const std::uint8_t* in) {
        return {in[0], in[1], in[2], in[3], loadLe16(in + 4), loadLe16(in + 6)};
    }
};

static_assert(sizeof(MediaPacketHeader) == MediaPacketHeader::kSize);
static_assert(offsetof(MediaPacketHeader, streamId) == 2);
static_assert(offsetof(MediaPacketHeader, sequence) == 4);
static_assert(offsetof(MediaPacketHeader, payloadLength) == 6);

}  // namespace lumivane::host
