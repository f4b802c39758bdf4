#include "ui/Widgets.h"

#include "ui/Palette.h"

#include <algorithm>

namespace lumivane::host::widgets {

StyleColours::StyleColours(std::initializer_list<std::pair<ImGuiCol, ImVec4>> colours) {
    for (const auto& [slot, colour] : colours) {
        ImGui::PushStyleColor(slot, colour);
        ++count_;
    }
}

StyleColours::~StyleColours() { ImGui::PopStyleColor(count_); }

void verticalSpace(float pixels) { ImGui::SetCursorPosY(ImGui::GetCursorPosY() + pixels); }

void text(const ImVec4& colour, std::string_view text) {
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextUnformatted(text.data(), text.data() + text.size());
    ImGui::PopStyleColor();
}

void pageHeader(ImFont* titleFont, const char* title, const char* subtitle) {
    {
        FontScope font(titleFont);
        text(palette::text, title);
    }
    if (subtitle) text(palette::textSecondary, subtitle);
}

void sectionHeader(ImFont* largeFont, const char* title, float spaceBefore) {
    verticalSpace(spaceBefore);
    {
        FontScope font(largeFont);
        text(palette::text, title);
    }
    verticalSpace(10);
}

void hint(const char* hintText) { text(palette::textDim, hintText); }

void statusDot(ImU32 colour) {
    const ImVec2 cursor = ImGui::GetCursorScreenPos();
    ImGui::GetWindowDrawList()->AddCircleFilled({cursor.x + 6, cursor.y + 8}, 6, colour);
}

void labelValue(const char* label, std::string_view value, const ImVec4& colour, float valueX) {
    const float x = ImGui::GetCursorPosX();
    text(palette::textSecondary, label);
    // A label wider than its column (another font than the layout was made for) pushes
    // the value right instead of running into it.
    const float labelEnd = x + ImGui::CalcTextSize(label).x + ImGui::GetStyle().ItemSpacing.x;
    ImGui::SameLine(std::max(valueX, labelEnd));
    text(colour, value);
    ImGui::SetCursorPosX(x);
}

void gradientBar(float x, float width, float height, ImU32 left, ImU32 right) {
    const ImVec2 origin{ImGui::GetWindowPos().x + x, ImGui::GetCursorScreenPos().y};
    ImGui::GetWindowDrawList()->AddRectFilledMultiColor(origin, {origin.x + width, origin.y + height}, left,
                                                        right, right, left);
    verticalSpace(height);
}

bool isMissingEncoder(std::string_view name) { return name.empty() || name == "None"; }

bool comboBox(const char* id, float width, int* index, const char* const* items, int count) {
    StyleVar padding(ImGuiStyleVar_FramePadding, ImVec2{14, 12});
    ImGui::SetNextItemWidth(width);
    return ImGui::Combo(id, index, items, count);
}

}  // namespace lumivane::host::widgets
