#pragma once
// Small strict number readers shared by the option, schedule and script parsers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane::client {

// Decimal, or hexadecimal with 0x; the whole text must be the number.
std::optional<std::uint64_t> parseUnsigned(std::string_view text, std::uint64_t max);
std::optional<std::int64_t> parseSigned(std::string_view text, std::int64_t min, std::int64_t max);
// Non-negative decimal such as "2", "0.5"; no exponent, no sign.
std::optional<double> parseSeconds(std::string_view text);
// "1280x720" with both sides in 1..max.
std::optional<std::pair<std::uint32_t, std::uint32_t>> parseSize(std::string_view text, std::uint32_t max);

std::string_view trim(std::string_view text);
// Splits at any of the separator characters; empty pieces are kept.
std::vector<std::string_view> split(std::string_view text, std::string_view separators);
std::string toLower(std::string_view text);

}  // namespace lumivane::client
