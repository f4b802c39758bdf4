#pragma once

#include <imgui.h>

namespace lumivane::host {

// The dashboard's purple theme on top of the library's dark style.
void applyTheme(ImGuiStyle& style);

}  // namespace lumivane::host
