#pragma once
// H.264 out of an FLV byte stream, as ffmpeg writes it to a socket. FLV frames every
// access unit with its size, so a receiver holds a whole unit the moment its last byte
// arrives (raw Annex-B would need the next unit's start code first, a frame late).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumivane::bench {

class FlvStream {
public:
    struct Handlers {
        // Parameter sets from the decoder configuration record, without start codes.
        std::function<void(const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps)> config;
        // One access unit in Annex-B form.
        std::function<void(const std::uint8_t* data, std::size_t size)> accessUnit;
    };

    explicit FlvStream(Handlers handlers) : handlers_(std::move(handlers)) {}

    // Feeds received bytes; false (with error) once the stream is not FLV H.264.
    bool push(const std::uint8_t* data, std::size_t size);
    const std::string& error() const { return error_; }

private:
    bool parseTags();
    bool onVideoTag(const std::uint8_t* tag, std::size_t size);
    bool onDecoderConfig(const std::uint8_t* record, std::size_t size);
    bool onNalUnits(const std::uint8_t* units, std::size_t size);
    bool fail(const std::string& why);

    Handlers handlers_;
    std::vector<std::uint8_t> buffer_;
    std::size_t consumed_ = 0;
    bool headerSeen_ = false;
    std::size_t lengthSize_ = 4;
    std::vector<std::uint8_t> annexB_;
    std::string error_;
};

}  // namespace lumivane::bench
