#pragma once
// Saves every Nth decoded picture as PNG in a folder.

#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::client {

class VideoDecoder;

class FrameSaver {
public:
    FrameSaver(std::string folder, std::uint32_t every) : folder_(std::move(folder)), every_(every ? every : 1) {}

    bool enabled() const { return !folder_.empty(); }
    // Creates the folder; false with `error` when it cannot.
    bool prepare(std::string& error) const;
    // Saves picture number `picture` (1-based) when it is one to keep. Returns the path
    // written, "" when this picture is skipped; false with `error` on failure.
    bool maybeSave(std::uint64_t picture, VideoDecoder& decoder, std::string& path, std::string& error);

private:
    std::string folder_;
    std::uint32_t every_;
    std::vector<std::uint8_t> bgra_;  // reused: pictures keep their size between keyframes
};

}  // namespace lumivane::client
