#include "app/SettingsFolder.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdlib>

namespace lumivane::host {

// The local application-data folder. LOCALAPPDATA names it first, as it does for the log,
// so that one variable moves both (tests rely on it); Windows sets it to the same folder.
std::filesystem::path settingsBaseFolder() {
    if (const char* value = std::getenv("LOCALAPPDATA"); value && *value) return value;
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

}  // namespace lumivane::host
