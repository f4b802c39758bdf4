#pragma once
// H.264 access units to pictures with libavcodec, one picture out per unit in.

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace lumivane::client {

class VideoDecoder {
public:
    VideoDecoder() = default;
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    bool open(std::string& error);
    // Parameter sets as stream_config carries them (NAL units without start codes).
    void setParameterSets(const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps);
    // True when the unit gave a picture; false with `error` when the decoder rejected it.
    bool decode(const std::uint8_t* data, std::size_t size, std::string& error);

    int width() const;
    int height() const;
    // The latest picture's luma plane, borrowed until the next decode; data is null
    // before the first picture.
    struct Luma {
        const std::uint8_t* data = nullptr;
        int stride = 0;
        int width = 0;
        int height = 0;
    };
    Luma luma() const;
    // The latest picture as top-down BGRA, width * 4 bytes a row.
    bool pictureBgra(std::vector<std::uint8_t>& out);

private:
    bool send(const std::uint8_t* data, std::size_t size, std::string& error);
    // Takes every picture the decoder has ready; the last one becomes the latest picture.
    int receive(bool& got);

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;     // the latest picture
    AVFrame* received_ = nullptr;  // receiving clears its frame, so pictures land here first
    SwsContext* scaler_ = nullptr;
    std::vector<std::uint8_t> padded_;  // grows to the largest unit, then stays
    bool havePicture_ = false;
};

}  // namespace lumivane::client
