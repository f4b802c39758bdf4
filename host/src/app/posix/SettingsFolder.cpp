#include "app/SettingsFolder.h"

#include <cstdlib>

namespace lumivane::host {
namespace {

std::filesystem::path envPath(const char* name) {
    const char* value = std::getenv(name);
    return (value && *value) ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

// The XDG base-directory rule for configuration files.
std::filesystem::path settingsBaseFolder() {
    if (auto config = envPath("XDG_CONFIG_HOME"); !config.empty()) return config;
    if (auto home = envPath("HOME"); !home.empty()) return home / ".config";
    return {};
}

}  // namespace lumivane::host
