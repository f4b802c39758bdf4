#pragma once
// A PNG decoded to top-down 8-bit RGBA, freed when it goes out of scope.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lumivane::host {

class LogoImage {
public:
    // Empty when the file is missing or not an image the decoder understands.
    static std::optional<LogoImage> load(const std::string& path);

    const std::uint8_t* pixels() const { return pixels_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    struct Free {
        void operator()(std::uint8_t* pixels) const;
    };

    std::unique_ptr<std::uint8_t, Free> pixels_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace lumivane::host
