#pragma once

#include <filesystem>

namespace lumivane::host {

// The platform's folder for per-user application state when LOCALAPPDATA is not set;
// empty where the platform has no such convention.
std::filesystem::path platformStateFolder();

}  // namespace lumivane::host
