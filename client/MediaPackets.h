#pragma once
// Reading the host's video and audio packets (the body after the 4-byte length).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace lumivane::client {

struct VideoPacket {
    std::uint8_t streamId = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp90k = 0;
    bool keyframe = false;
    const std::uint8_t* frame = nullptr;  // borrowed from the body
    std::size_t frameSize = 0;
};

struct AudioPacket {
    std::uint8_t streamId = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestampMs = 0;
    const std::uint8_t* opus = nullptr;  // borrowed from the body
    std::size_t opusSize = 0;
};

// Empty optional and `problem` when the body breaks the packet layout.
std::optional<VideoPacket> parseVideoPacket(const std::uint8_t* body, std::size_t size, std::string& problem);
std::optional<AudioPacket> parseAudioPacket(const std::uint8_t* body, std::size_t size, std::string& problem);

}  // namespace lumivane::client
