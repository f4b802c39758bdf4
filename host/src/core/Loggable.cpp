#include "core/Loggable.h"

#include <cstdint>

namespace lumivane::host {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when it is not one.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) length = 2, minimum = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 3, minimum = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 4, minimum = 0x10000;
    else return 0;
    if (i + length > text.size()) return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

void appendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

}  // namespace

std::string loggable(std::string_view peerText, std::size_t maxBytes) {
    std::string out;
    out.reserve(std::min(peerText.size(), maxBytes) + 8);
    std::size_t i = 0;
    while (i < peerText.size()) {
        const std::size_t length = sequenceLength(peerText, i);
        if (i + (length ? length : 1) > maxBytes) break;
        const auto byte = static_cast<unsigned char>(peerText[i]);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            appendEscaped(out, byte);
            ++i;
        } else if (byte == '\\') {
            out += "\\\\";
            ++i;
        } else {
            out.append(peerText.substr(i, length));
            i += length;
        }
    }
    if (i < peerText.size()) out += "...";
    return out;
}

}  // namespace lumivane::host
