#include "ui/TitleShortener.h"

namespace lumivane::host {
namespace {

// Start of the UTF-8 character that ends at `end` (continuation bytes are 10xxxxxx).
std::size_t previousCharacterStart(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    return start;
}

}  // namespace

std::string shortenToFit(std::string_view text, float maxWidth, const TextWidth& width) {
    if (width(text) <= maxWidth) return std::string(text);
    constexpr std::string_view ellipsis = "...";
    const float ellipsisWidth = width(ellipsis);
    std::size_t length = text.size();
    while (length > 0 && width(text.substr(0, length)) + ellipsisWidth > maxWidth)
        length = previousCharacterStart(text, length);
    std::string shortened(text.substr(0, length));
    shortened += ellipsis;
    return shortened;
}

}  // namespace lumivane::host
