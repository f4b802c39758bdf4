#include "core/StateFolder.h"

namespace lumivane::host {

// Windows has only LOCALAPPDATA; without it the log goes to ./logs.
std::filesystem::path platformStateFolder() { return {}; }

}  // namespace lumivane::host
