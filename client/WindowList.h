#pragma once
// The host's window list as the client reads it, and the choice of the window to stream.

#include "core/WindowInfo.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::client {

class WindowList {
public:
    // Empty optional and `error` when the message has no usable "windows" array. Keys a
    // window lacks read as empty or 0, as the host would read them.
    static std::optional<WindowList> fromMessage(const nlohmann::json& message, std::string& error);

    const std::vector<protocol::WindowInfo>& windows() const { return windows_; }

    // The window with this id, or null and `error`.
    const protocol::WindowInfo* findById(std::uint32_t id, std::string& error) const;
    // An exact title wins; otherwise the one window whose title contains `text`, ignoring
    // ASCII case. Several candidates is an error that names them.
    const protocol::WindowInfo* findByTitle(const std::string& text, std::string& error) const;

private:
    std::vector<protocol::WindowInfo> windows_;
};

}  // namespace lumivane::client
