#include "MediaPackets.h"

#include "core/LittleEndian.h"
#include "network/MediaPacketHeader.h"
#include "network/VideoFrameHeader.h"

#include <fmt/format.h>

#include <algorithm>

namespace lumivane::client {

using host::MediaPacketHeader;
using host::VideoFrameHeader;

namespace {

bool checkMedia(const MediaPacketHeader& h, std::uint8_t type, std::uint8_t flags, std::string& problem) {
    if (h.version != 1 || h.packetType != type || h.flags != flags) {
        problem = fmt::format("packet header says version {}, type {}, flags {} (expected 1, {}, {})", h.version,
                              h.packetType, h.flags, type, flags);
        return false;
    }
    return true;
}

}  // namespace

std::optional<VideoPacket> parseVideoPacket(const std::uint8_t* body, std::size_t size, std::string& problem) {
    constexpr std::size_t kHeaders = MediaPacketHeader::kSize + VideoFrameHeader::kSize;
    if (size < kHeaders) {
        problem = fmt::format("video packet of {} bytes is shorter than its {}-byte header", size, kHeaders);
        return std::nullopt;
    }
    const auto media = MediaPacketHeader::readFrom(body);
    const auto video = VideoFrameHeader::readFrom(body + MediaPacketHeader::kSize);
    if (!checkMedia(media, MediaPacketHeader::kVideo, 1, problem)) return std::nullopt;
    const std::size_t frameSize = size - kHeaders;
    const auto expected = static_cast<std::uint16_t>(std::min<std::size_t>(frameSize + 8, 65535));
    if (media.payloadLength != expected) {
        problem = fmt::format("video payload length {} does not match a {}-byte frame (expected {})",
                              media.payloadLength, frameSize, expected);
        return std::nullopt;
    }
    if (video.frameType != VideoFrameHeader::kKeyframe && video.frameType != VideoFrameHeader::kOtherFrame) {
        problem = fmt::format("video frame type {} is neither 1 nor 3", video.frameType);
        return std::nullopt;
    }
    if (video.reserved[0] != 0 || video.reserved[1] != 1 || video.reserved[2] != 0) {
        problem = "video header's reserved bytes are not 0, 1, 0";
        return std::nullopt;
    }
    return VideoPacket{media.streamId, media.sequence, video.timestamp, video.frameType == VideoFrameHeader::kKeyframe,
                       body + kHeaders, frameSize};
}

std::optional<AudioPacket> parseAudioPacket(const std::uint8_t* body, std::size_t size, std::string& problem) {
    constexpr std::size_t kHeaders = MediaPacketHeader::kSize + 4;
    if (size < kHeaders) {
        problem = fmt::format("audio packet of {} bytes is shorter than its {}-byte header", size, kHeaders);
        return std::nullopt;
    }
    const auto media = MediaPacketHeader::readFrom(body);
    if (!checkMedia(media, MediaPacketHeader::kAudio, 0, problem)) return std::nullopt;
    const std::size_t opusSize = size - kHeaders;
    const auto expected = static_cast<std::uint16_t>(opusSize + 4);
    if (media.payloadLength != expected) {
        problem = fmt::format("audio payload length {} does not match {} bytes of Opus (expected {})",
                              media.payloadLength, opusSize, expected);
        return std::nullopt;
    }
    return AudioPacket{media.streamId, media.sequence, host::loadLe32(body + MediaPacketHeader::kSize),
                       body + kHeaders, opusSize};
}

}  // namespace lumivane::client
