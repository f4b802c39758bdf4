#pragma once
// RFC 4648 base64, standard alphabet, "=" padding, one line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane::host {

std::string base64Encode(const std::uint8_t* data, std::size_t size);
std::string base64Encode(const std::vector<std::uint8_t>& data);
// Empty optional for a length that is not a multiple of 4 or a character outside the alphabet.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

}  // namespace lumivane::host
