#include "TextScan.h"

#include <cctype>
#include <charconv>

namespace lumivane::client {

std::optional<std::uint64_t> parseUnsigned(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseSigned(std::string_view text, std::int64_t min, std::int64_t max) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<double> parseSeconds(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> parseSize(std::string_view text, std::uint32_t max) {
    const auto x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    auto w = parseUnsigned(text.substr(0, x), max);
    auto h = parseUnsigned(text.substr(x + 1), max);
    if (!w || !h || *w == 0 || *h == 0) return std::nullopt;
    return std::pair{static_cast<std::uint32_t>(*w), static_cast<std::uint32_t>(*h)};
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        const auto at = text.find_first_of(separators, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::string toLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace lumivane::client
