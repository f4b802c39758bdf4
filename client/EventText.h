#pragma once
// The readable form of the client's events.

#include <nlohmann/json.hpp>

#include <string>

namespace lumivane::client {

// One line for most events, a table for a window list; unknown events print their fields.
std::string formatEventText(const nlohmann::json& event);

}  // namespace lumivane::client
