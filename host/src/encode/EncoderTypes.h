#pragma once
// Records that cross the encoder boundary. Bit rates are kbit/s everywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::host {

enum class EncoderType : std::uint32_t { NVENC = 0, AMF = 1, QuickSync = 2, Software = 3 };

// Static display name; "Unknown" for values outside the enumeration.
const char* encoderTypeName(EncoderType type);

struct EncoderConfig {
    std::uint32_t width = 1920;
    std::uint32_t height = 1080;
    std::uint32_t bitrate = 20000;
    std::uint32_t maxBitrate = 50000;
    std::uint32_t fps = 72;
    std::string codec = "h264";  // "h265" or "hevc" select HEVC
    std::string profile = "main";
    std::uint32_t gopLength = 60;
    bool sliceEncoding = true;
    std::uint32_t sliceCount = 4;
};

// data is borrowed: valid only while the frame callback runs.
struct EncodedFrame {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::int64_t timestamp = 0;
    bool isKeyframe = false;
    std::uint32_t frameNumber = 0;
};

struct EncoderStats {
    std::uint64_t framesEncoded = 0;
    std::uint64_t bytesEncoded = 0;
    double averageEncodeTimeMs = 0.0;
};

struct CodecConfig {
    std::vector<std::uint8_t> sps;
    std::vector<std::uint8_t> pps;
    std::vector<std::uint8_t> vps;
    bool valid = false;
};

bool isHevcCodec(const std::string& codec);

}  // namespace lumivane::host
