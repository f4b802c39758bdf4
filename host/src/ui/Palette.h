#pragma once
// The dashboard's named colours; every page and the theme draw from these.

#include <imgui.h>

namespace lumivane::host::palette {

inline const ImVec4 primary{0.45f, 0.35f, 0.90f, 1.0f};
inline const ImVec4 primaryLight{0.55f, 0.40f, 0.98f, 1.0f};
inline const ImVec4 primaryDark{0.35f, 0.25f, 0.70f, 1.0f};
inline const ImVec4 primaryBright{0.60f, 0.45f, 1.00f, 1.0f};
inline const ImVec4 background{0.06f, 0.06f, 0.10f, 1.0f};
inline const ImVec4 sidebarBackground{0.05f, 0.05f, 0.08f, 1.0f};
inline const ImVec4 card{0.10f, 0.10f, 0.16f, 1.0f};
inline const ImVec4 hover{0.12f, 0.12f, 0.20f, 1.0f};
inline const ImVec4 text{0.95f, 0.95f, 0.98f, 1.0f};
inline const ImVec4 textSecondary{0.65f, 0.65f, 0.75f, 1.0f};
inline const ImVec4 textDim{0.45f, 0.45f, 0.55f, 1.0f};
inline const ImVec4 success{0.30f, 0.85f, 0.55f, 1.0f};
inline const ImVec4 warning{0.95f, 0.75f, 0.25f, 1.0f};
inline const ImVec4 error{0.95f, 0.35f, 0.40f, 1.0f};
inline const ImVec4 border{0.20f, 0.20f, 0.30f, 1.0f};
inline const ImVec4 item{0.15f, 0.15f, 0.22f, 1.0f};
inline const ImVec4 sliderGrab{0.50f, 0.40f, 0.95f, 1.0f};
inline const ImVec4 transparent{0.0f, 0.0f, 0.0f, 0.0f};

}  // namespace lumivane::host::palette
