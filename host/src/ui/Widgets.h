#pragma once
// Small drawing helpers shared by the dashboard's pages. Main thread, inside a frame.

#include <imgui.h>

#include <initializer_list>
#include <string_view>
#include <utility>

namespace lumivane::host::widgets {

// Pushes colours for a scope and pops exactly as many.
class StyleColours {
public:
    StyleColours(std::initializer_list<std::pair<ImGuiCol, ImVec4>> colours);
    ~StyleColours();
    StyleColours(const StyleColours&) = delete;
    StyleColours& operator=(const StyleColours&) = delete;

private:
    int count_ = 0;
};

class StyleVar {
public:
    StyleVar(ImGuiStyleVar var, float value) { ImGui::PushStyleVar(var, value); }
    StyleVar(ImGuiStyleVar var, ImVec2 value) { ImGui::PushStyleVar(var, value); }
    ~StyleVar() { ImGui::PopStyleVar(); }
    StyleVar(const StyleVar&) = delete;
    StyleVar& operator=(const StyleVar&) = delete;
};

class FontScope {
public:
    explicit FontScope(ImFont* font) { ImGui::PushFont(font); }
    ~FontScope() { ImGui::PopFont(); }
    FontScope(const FontScope&) = delete;
    FontScope& operator=(const FontScope&) = delete;
};

// Moves the cursor down by `pixels` beyond the item spacing already applied.
void verticalSpace(float pixels);
// Never interprets `text` as a format string: titles and log lines come from outside.
void text(const ImVec4& colour, std::string_view text);
void pageHeader(ImFont* titleFont, const char* title, const char* subtitle);
void sectionHeader(ImFont* largeFont, const char* title, float spaceBefore = 25);
void hint(const char* text);
// A filled status dot: centre 6 px right of and 8 px below the cursor.
void statusDot(ImU32 colour);
// Label at the cursor in the secondary colour, value on the same line at valueX (or
// after the label, if that is wider).
void labelValue(const char* label, std::string_view value, const ImVec4& colour, float valueX);
// A horizontal gradient bar `height` high, starting `x` from the window's left edge.
void gradientBar(float x, float width, float height, ImU32 left, ImU32 right);
// An encoder name that means there is none ("None" or empty): shown as a warning.
bool isMissingEncoder(std::string_view name);
// A combo box at the pages' combo padding; true when the user picked another item.
bool comboBox(const char* id, float width, int* index, const char* const* items, int count);

}  // namespace lumivane::host::widgets
