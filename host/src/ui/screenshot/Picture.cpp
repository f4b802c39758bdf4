#include "ui/screenshot/Picture.h"

#include "core/PngEncoder.h"

#include <fstream>

namespace lumivane::host {

Picture::Pixel Picture::at(int x, int y) const {
    const std::size_t offset = (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4;
    return {bgra[offset + 2], bgra[offset + 1], bgra[offset]};
}

bool Picture::writePng(const std::string& path) const {
    const std::vector<std::uint8_t> png = encodePng(std::uint32_t(width), std::uint32_t(height), bgra);
    if (png.empty()) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    return bool(out);
}

}  // namespace lumivane::host
