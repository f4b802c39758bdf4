#include "FrameSaver.h"

#include "VideoDecoder.h"
#include "core/PngEncoder.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>

namespace lumivane::client {

bool FrameSaver::prepare(std::string& error) const {
    if (!enabled()) return true;
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec || !std::filesystem::is_directory(folder_)) {
        error = "cannot create the folder " + folder_ + (ec ? ": " + ec.message() : "");
        return false;
    }
    return true;
}

bool FrameSaver::maybeSave(std::uint64_t picture, VideoDecoder& decoder, std::string& path, std::string& error) {
    path.clear();
    if (!enabled() || (picture - 1) % every_ != 0) return true;
    if (!decoder.pictureBgra(bgra_)) {
        error = "cannot convert picture " + std::to_string(picture) + " for saving";
        return false;
    }
    const auto png = host::encodePng(static_cast<std::uint32_t>(decoder.width()),
                                     static_cast<std::uint32_t>(decoder.height()), bgra_);
    const auto file = (std::filesystem::path(folder_) / fmt::format("frame-{:06}.png", picture)).string();
    std::ofstream out(file, std::ios::binary);
    if (png.empty() || !out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()))) {
        error = "cannot write " + file;
        return false;
    }
    path = file;
    return true;
}

}  // namespace lumivane::client
