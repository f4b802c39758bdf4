#pragma once
// Judges whether the host sent each stream's configuration before the keyframe that
// needs it: the stream's first keyframe and the first one at a new picture size.
//
// The two arrive on different connections, so a keyframe may be read a moment before a
// configuration the host had already handed over. A keyframe without its configuration
// is therefore only pending; it becomes a violation once the signalling connection has
// been drained without bringing the configuration.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::client {

struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

class OrderChecker {
public:
    enum class Verdict { InOrder, Pending };

    void onConfig(std::uint8_t streamId, PictureSize size);
    // `size` is the decoded picture's size when the keyframe decoded.
    Verdict onKeyframe(std::uint8_t streamId, std::optional<PictureSize> size);
    // Called once the signalling connection holds nothing unread: what is still pending
    // now never got its configuration. Returns a description of each violation.
    std::vector<std::string> takeUnresolved();
    bool hasPending() const { return !pending_.empty(); }
    std::optional<PictureSize> lastConfig(std::uint8_t streamId) const;

    static std::string describe(std::uint8_t streamId, std::optional<PictureSize> size,
                                std::optional<PictureSize> lastConfig);

private:
    struct Pending {
        std::uint8_t streamId;
        std::optional<PictureSize> size;
    };
    bool matches(std::uint8_t streamId, std::optional<PictureSize> size) const;

    std::map<std::uint8_t, PictureSize> configs_;
    std::vector<Pending> pending_;
};

}  // namespace lumivane::client
