// The Dashboard page: connection and system cards, and the clickable window list.

#include "ui/Palette.h"
#include "ui/TitleShortener.h"
#include "ui/UIManager.h"
#include "ui/Widgets.h"

#include <fmt/format.h>
#include <imgui.h>

namespace lumivane::host {
namespace {

constexpr float cardValueX = 130;

// A bordered card with a title, ended when the scope closes. Rows sit closer than the
// page's items so that four of them fit under the title.
class Card {
public:
    Card(const char* id, ImVec2 size, ImFont* titleFont, const char* title) {
        {
            widgets::StyleColours colours({{ImGuiCol_ChildBg, palette::card}});
            widgets::StyleVar rounding(ImGuiStyleVar_ChildRounding, 16.0f);
            ImGui::BeginChild(id, size, true, ImGuiWindowFlags_NoScrollbar);
        }
        ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2{12, 8});
        widgets::verticalSpace(10);
        ImGui::SetCursorPosX(20);
        {
            widgets::FontScope font(titleFont);
            widgets::text(palette::text, title);
        }
        widgets::verticalSpace(15);
    }
    ~Card() {
        ImGui::PopStyleVar();
        ImGui::EndChild();
    }
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;
};

void cardRow(const char* label, std::string_view value, const ImVec4& colour) {
    ImGui::SetCursorPosX(20);
    widgets::labelValue(label, value, colour, cardValueX);
}

void centredHint(const char* hintText) {
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - ImGui::CalcTextSize(hintText).x) / 2);
    widgets::text(palette::textDim, hintText);
}

}  // namespace

void UIManager::renderDashboard() {
    widgets::pageHeader(fontTitle_, "Dashboard", nullptr);
    widgets::verticalSpace(20);
    renderConnectionCard();
    ImGui::SameLine(0, 30);
    renderSystemCard();
    widgets::verticalSpace(30);
    {
        widgets::FontScope font(fontLarge_);
        widgets::text(palette::text, "Available Windows");
    }
    widgets::text(palette::textSecondary, "Select windows to stream to your Quest headset");
    widgets::verticalSpace(15);
    renderWindowList();
}

void UIManager::renderConnectionCard() {
    Card card("ConnectionCard", {420, 230}, fontLarge_, "Connection Status");
    ImGui::SetCursorPosX(20);
    if (clientStatus.connected) {
        widgets::statusDot(IM_COL32(77, 217, 140, 255));
        ImGui::SetCursorPosX(40);
        widgets::text(palette::success, "Connected");
        ImGui::SetCursorPosX(20);
        widgets::text(palette::textSecondary, "Client: " + clientStatus.clientName);
        ImGui::SetCursorPosX(20);
        widgets::text(palette::textSecondary, "IP: " + clientStatus.clientAddress);
    } else {
        widgets::statusDot(IM_COL32(165, 165, 191, 255));
        ImGui::SetCursorPosX(40);
        widgets::text(palette::textDim, "Waiting for connection...");
        widgets::verticalSpace(10);
        const std::string& ip = localIpAddress_;
        cardRow("Signaling:", fmt::format("ws://{}:{}", ip, uiSettings.signalingPort), palette::primaryLight);
        cardRow("Video:", fmt::format("tcp://{}:{}", ip, uiSettings.videoPort), palette::primaryLight);
        cardRow("Audio:", fmt::format("tcp://{}:{}", ip, uiSettings.audioPort), palette::primaryLight);
        cardRow("Input:", fmt::format("tcp://{}:{}", ip, uiSettings.inputPort), palette::primaryLight);
    }
}

void UIManager::renderSystemCard() {
    Card card("SystemCard", {420, 200}, fontLarge_, "System Information");
    const bool noEncoder = widgets::isMissingEncoder(systemInfo.encoderName);
    cardRow("GPU:", systemInfo.gpuName, palette::text);
    cardRow("Encoder:", systemInfo.encoderName, noEncoder ? palette::warning : palette::success);
    cardRow("VRAM:", fmt::format("{} MB", systemInfo.vramMb), palette::text);
    cardRow((systemInfo.captureShortName + ":").c_str(), systemInfo.wgcSupported ? "Supported" : "Not Available",
            systemInfo.wgcSupported ? palette::success : palette::warning);
}

void UIManager::renderWindowList() {
    widgets::StyleColours colours({{ImGuiCol_ChildBg, palette::card}});
    ImGui::BeginChild("WindowList", {ImGui::GetContentRegionAvail().x - 30, 350}, true);
    widgets::verticalSpace(5);
    if (windowList_.entries().empty()) {
        widgets::verticalSpace(30);
        centredHint("No windows available for capture");
        centredHint("Open some applications to see them here");
    } else {
        const float rowWidth = ImGui::GetWindowWidth() - 30;
        widgets::StyleColours rowColours({{ImGuiCol_Header, palette::item},
                                          {ImGuiCol_HeaderHovered, palette::hover},
                                          {ImGuiCol_HeaderActive, palette::primaryDark}});
        widgets::StyleVar spacing(ImGuiStyleVar_ItemSpacing, ImVec2{ImGui::GetStyle().ItemSpacing.x, 5});
        for (std::size_t i = 0; i < windowList_.entries().size(); ++i) renderWindowRow(i, rowWidth);
    }
    ImGui::EndChild();
}

void UIManager::renderWindowRow(std::size_t index, float rowWidth) {
    const WindowEntry& entry = windowList_.entries()[index];
    ImGui::PushID(static_cast<int>(entry.windowId));
    ImGui::SetCursorPosX(10);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const bool clicked = ImGui::Selectable("##row", entry.streaming, 0, {rowWidth, 56});

    ImDrawList* draw = ImGui::GetWindowDrawList();
    const TextWidth titleWidth = [this](std::string_view text) {
        return fontLarge_->CalcTextSizeA(fontLarge_->FontSize, FLT_MAX, 0, text.data(), text.data() + text.size()).x;
    };
    const std::string title = shortenToFit(entry.title, rowWidth - 200, titleWidth);
    draw->AddText(fontLarge_, fontLarge_->FontSize, {origin.x + 20, origin.y + 10},
                  ImGui::GetColorU32(palette::text), title.c_str());
    draw->AddText(fontRegular_, fontRegular_->FontSize, {origin.x + 20, origin.y + 32},
                  ImGui::GetColorU32(palette::textDim), entry.processName.c_str());
    draw->AddText(fontRegular_, fontRegular_->FontSize, {origin.x + rowWidth - 100, origin.y + 18},
                  ImGui::GetColorU32(entry.streaming ? palette::success : palette::textDim),
                  entry.streaming ? "Streaming" : "Ready");
    ImGui::PopID();
    // Last: the click may change the list this row belongs to.
    if (clicked) windowList_.click(index, onStartCapture, onStopCapture);
}

}  // namespace lumivane::host
