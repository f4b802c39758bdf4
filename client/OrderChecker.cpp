#include "OrderChecker.h"

#include <algorithm>

namespace lumivane::client {

namespace {

// Encoders work in 16-pixel macroblocks; a picture may be cropped inside its last one.
bool sameMacroblocks(PictureSize a, PictureSize b) {
    auto mb = [](std::uint32_t v) { return (v + 15) / 16; };
    return mb(a.width) == mb(b.width) && mb(a.height) == mb(b.height);
}

std::string sizeText(PictureSize s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

}  // namespace

void OrderChecker::onConfig(std::uint8_t streamId, PictureSize size) {
    configs_[streamId] = size;
    std::erase_if(pending_, [&](const Pending& p) { return matches(p.streamId, p.size); });
}

bool OrderChecker::matches(std::uint8_t streamId, std::optional<PictureSize> size) const {
    auto it = configs_.find(streamId);
    if (it == configs_.end()) return false;
    return !size || sameMacroblocks(*size, it->second);
}

OrderChecker::Verdict OrderChecker::onKeyframe(std::uint8_t streamId, std::optional<PictureSize> size) {
    if (matches(streamId, size)) return Verdict::InOrder;
    pending_.push_back({streamId, size});
    return Verdict::Pending;
}

std::optional<PictureSize> OrderChecker::lastConfig(std::uint8_t streamId) const {
    auto it = configs_.find(streamId);
    if (it == configs_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> OrderChecker::takeUnresolved() {
    std::vector<std::string> out;
    for (const auto& p : pending_) out.push_back(describe(p.streamId, p.size, lastConfig(p.streamId)));
    pending_.clear();
    return out;
}

std::string OrderChecker::describe(std::uint8_t streamId, std::optional<PictureSize> size,
                                   std::optional<PictureSize> lastConfig) {
    const std::string stream = "stream " + std::to_string(streamId) + ": keyframe";
    const std::string sized = size ? " of " + sizeText(*size) : "";
    if (!lastConfig) return stream + sized + " arrived before any stream_config";
    return stream + sized + " arrived before its stream_config (last one said " + sizeText(*lastConfig) + ")";
}

}  // namespace lumivane::client
