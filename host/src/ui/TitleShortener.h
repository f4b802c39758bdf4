#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lumivane::host {

using TextWidth = std::function<float(std::string_view)>;

// The text itself when it fits in maxWidth; otherwise its longest prefix of whole UTF-8
// characters that fits together with "...", followed by "..." (just "..." when none fits).
std::string shortenToFit(std::string_view text, float maxWidth, const TextWidth& width);

}  // namespace lumivane::host
