#include "core/StateFolder.h"

#include <cstdlib>

namespace lumivane::host {
namespace {

std::filesystem::path envPath(const char* name) {
    const char* value = std::getenv(name);
    return (value && *value) ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

// The XDG base-directory rule for state files.
std::filesystem::path platformStateFolder() {
    if (auto state = envPath("XDG_STATE_HOME"); !state.empty()) return state;
    if (auto home = envPath("HOME"); !home.empty()) return home / ".local" / "state";
    return {};
}

}  // namespace lumivane::host
