#include "ui/Theme.h"

#include "ui/Palette.h"

#include <initializer_list>

namespace lumivane::host {
namespace {

void applySizes(ImGuiStyle& style) {
    style.WindowPadding = {20, 20};
    style.WindowRounding = 0;
    style.WindowBorderSize = 0;
    style.ChildRounding = 12;
    style.ChildBorderSize = 1;
    style.PopupRounding = 10;
    style.PopupBorderSize = 1;
    style.FramePadding = {14, 10};
    style.FrameRounding = 8;
    style.FrameBorderSize = 0;
    style.ItemSpacing = {12, 12};
    style.ItemInnerSpacing = {10, 8};
    style.IndentSpacing = 28;
    style.ScrollbarSize = 14;
    style.ScrollbarRounding = 8;
    style.GrabMinSize = 14;
    style.GrabRounding = 6;
    style.TabRounding = 8;
    style.TabBorderSize = 0;
}

// Dear ImGui 1.86 names some slots differently from newer releases:
//   TabDimmed         -> ImGuiCol_TabUnfocused
//   TabDimmedSelected -> ImGuiCol_TabUnfocusedActive
//   TabSelected       -> ImGuiCol_TabActive
//   NavCursor         -> ImGuiCol_NavHighlight
// Slots that 1.86 lacks (tab overlines, text links) need nothing; table colours keep
// the dark style's values.
void applyColours(ImVec4* c) {
    using namespace palette;
    c[ImGuiCol_Text] = text;
    c[ImGuiCol_TextDisabled] = textDim;
    for (ImGuiCol slot : {ImGuiCol_WindowBg, ImGuiCol_ScrollbarBg}) c[slot] = background;
    for (ImGuiCol slot : {ImGuiCol_ChildBg, ImGuiCol_BorderShadow}) c[slot] = transparent;
    for (ImGuiCol slot : {ImGuiCol_PopupBg, ImGuiCol_FrameBgActive, ImGuiCol_Button, ImGuiCol_Header,
                          ImGuiCol_ResizeGrip, ImGuiCol_Tab, ImGuiCol_TabUnfocused, ImGuiCol_TabUnfocusedActive})
        c[slot] = card;
    for (ImGuiCol slot : {ImGuiCol_Border, ImGuiCol_Separator}) c[slot] = border;
    for (ImGuiCol slot : {ImGuiCol_FrameBg, ImGuiCol_ScrollbarGrab}) c[slot] = item;
    for (ImGuiCol slot : {ImGuiCol_FrameBgHovered, ImGuiCol_ScrollbarGrabHovered}) c[slot] = hover;
    for (ImGuiCol slot : {ImGuiCol_TitleBg, ImGuiCol_TitleBgActive, ImGuiCol_TitleBgCollapsed, ImGuiCol_MenuBarBg})
        c[slot] = sidebarBackground;
    for (ImGuiCol slot : {ImGuiCol_ScrollbarGrabActive, ImGuiCol_ButtonHovered, ImGuiCol_HeaderHovered,
                          ImGuiCol_SeparatorHovered, ImGuiCol_ResizeGripHovered, ImGuiCol_TabHovered,
                          ImGuiCol_PlotLines, ImGuiCol_PlotHistogram, ImGuiCol_NavHighlight,
                          ImGuiCol_NavWindowingHighlight})
        c[slot] = primary;
    for (ImGuiCol slot : {ImGuiCol_CheckMark, ImGuiCol_SeparatorActive, ImGuiCol_ResizeGripActive})
        c[slot] = primaryLight;
    c[ImGuiCol_SliderGrab] = sliderGrab;
    for (ImGuiCol slot : {ImGuiCol_SliderGrabActive, ImGuiCol_PlotLinesHovered, ImGuiCol_PlotHistogramHovered,
                          ImGuiCol_DragDropTarget})
        c[slot] = primaryBright;
    for (ImGuiCol slot : {ImGuiCol_ButtonActive, ImGuiCol_HeaderActive, ImGuiCol_TabActive}) c[slot] = primaryDark;
    c[ImGuiCol_TextSelectedBg] = {0.45f, 0.35f, 0.90f, 0.35f};
    c[ImGuiCol_NavWindowingDimBg] = {0, 0, 0, 0.5f};
    c[ImGuiCol_ModalWindowDimBg] = {0, 0, 0, 0.6f};
}

}  // namespace

void applyTheme(ImGuiStyle& style) {
    ImGui::StyleColorsDark(&style);
    applySizes(style);
    applyColours(style.Colors);
}

}  // namespace lumivane::host
