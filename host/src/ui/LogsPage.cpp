// The Logs page: the bounded log with level colours, a minimum-level filter,
// auto-scroll and copying to the clipboard.

#include "ui/Palette.h"
#include "ui/UIManager.h"
#include "ui/Widgets.h"

#include <imgui.h>

#include <string>

namespace lumivane::host {
namespace {

constexpr const char* filterLabels[] = {"All", "Debug+", "Info+", "Warn+", "Error+"};

void drawLogRow(const LogEntry& entry) {
    const std::string_view tag = logLevelTag(entry.level);
    widgets::text(palette::textSecondary, entry.timestamp);
    ImGui::SameLine();
    widgets::text(logLevelColour(entry.level), tag);
    ImGui::SameLine();
    widgets::text(palette::text, entry.message);
}

}  // namespace

void UIManager::renderLogs() {
    widgets::pageHeader(fontTitle_, "Logs", "Real-time application logs");
    widgets::verticalSpace(15);
    renderLogToolbar();
    widgets::text(palette::textDim, "Tip: Right-click a log entry to copy it");
    widgets::verticalSpace(10);
    renderLogRows();
}

void UIManager::renderLogToolbar() {
    widgets::StyleVar rounding(ImGuiStyleVar_FrameRounding, 6.0f);
    widgets::StyleColours colours({{ImGuiCol_Button, palette::card}, {ImGuiCol_ButtonHovered, palette::hover}});
    if (ImGui::Button("Clear Logs")) logs_.clear();
    ImGui::SameLine();
    if (ImGui::Button("Copy All")) ImGui::SetClipboardText(logs_.copyAll().c_str());
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("Copy all logs to clipboard");
    ImGui::SameLine();
    ImGui::Checkbox("Auto-scroll", &autoScroll_);
    ImGui::SameLine(ImGui::GetWindowWidth() - 200);
    widgets::comboBox("##LogLevel", 180, &logLevelFilter_, filterLabels, IM_ARRAYSIZE(filterLabels));
}

void UIManager::renderLogRows() {
    // The same right margin as the dashboard's window list.
    const ImVec2 size{ImGui::GetContentRegionAvail().x - 30, ImGui::GetContentRegionAvail().y - 5};
    widgets::StyleColours background({{ImGuiCol_ChildBg, palette::background}});
    ImGui::BeginChild("LogScroll", size, true, ImGuiWindowFlags_HorizontalScrollbar);

    // Filled under the buffer's lock, handed to the clipboard after it is released:
    // the clipboard may report errors through the log, which takes that lock.
    std::string copied;
    logs_.visit([&](const std::vector<LogEntry>& entries) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const LogEntry& entry = entries[i];
            if (!passesLogFilter(entry.level, logLevelFilter_)) continue;
            ImGui::PushID(static_cast<int>(i));
            const ImVec2 rowStart = ImGui::GetCursorScreenPos();
            if (ImGui::Selectable("##logline", false, ImGuiSelectableFlags_AllowDoubleClick))
                copied = fullLogLine(entry);
            if (ImGui::BeginPopupContextItem("LogContextMenu")) {
                if (ImGui::MenuItem("Copy")) copied = fullLogLine(entry);
                if (ImGui::MenuItem("Copy Message Only")) copied = entry.message;
                ImGui::EndPopup();
            }
            ImGui::SetCursorScreenPos(rowStart);
            drawLogRow(entry);
            ImGui::PopID();
        }
    });
    if (autoScroll_ && ImGui::GetScrollY() >= ImGui::GetScrollMaxY() - 20) ImGui::SetScrollHereY(1.0f);
    ImGui::EndChild();
    if (!copied.empty()) ImGui::SetClipboardText(copied.c_str());
}

}  // namespace lumivane::host
