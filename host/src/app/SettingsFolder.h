#pragma once

#include <filesystem>

namespace lumivane::host {

// The per-user folder under which the "Lumivane" settings folder lives; empty when the
// platform cannot tell (the settings file is then "settings.json" in the working folder).
std::filesystem::path settingsBaseFolder();

}  // namespace lumivane::host
