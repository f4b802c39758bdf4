// The About page: product, version, description and the system facts.

#include "ui/Palette.h"
#include "ui/UIManager.h"
#include "ui/Widgets.h"

#include <fmt/format.h>
#include <imgui.h>

namespace lumivane::host {
namespace {

constexpr const char* productWebAddress = "https://lumivane.example";

}  // namespace

void UIManager::renderAbout() {
    widgets::pageHeader(fontTitle_, "About", nullptr);
    widgets::verticalSpace(30);
    if (logoTexture_) {
        ImGui::Image(logoTexture_, {80, 80});
        widgets::verticalSpace(15);
    }
    {
        widgets::FontScope font(fontTitle_);
        widgets::text(palette::primaryLight, "Lumivane Native");
    }
    widgets::text(palette::textSecondary, "Version 1.0.5");
    widgets::verticalSpace(20);
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + 500);
    ImGui::PushStyleColor(ImGuiCol_Text, palette::text);
    ImGui::TextWrapped("%s",
                       "A native VR window streaming platform for Meta Quest. Stream individual windows to your "
                       "headset with ultra-low latency.");
    ImGui::PopStyleColor();
    ImGui::PopTextWrapPos();

    widgets::verticalSpace(30);
    {
        widgets::FontScope font(fontLarge_);
        widgets::text(palette::text, "System Information");
    }
    widgets::verticalSpace(10);
    constexpr float valueX = 200 + 30;  // the page starts 30 px in
    const bool noEncoder = widgets::isMissingEncoder(systemInfo.encoderName);
    widgets::labelValue("Graphics Card:", systemInfo.gpuName, palette::text, valueX);
    widgets::labelValue("VRAM:", fmt::format("{} MB", systemInfo.vramMb), palette::text, valueX);
    widgets::labelValue("Hardware Encoder:", systemInfo.encoderName, noEncoder ? palette::warning : palette::success,
                        valueX);
    widgets::labelValue((systemInfo.captureName + ":").c_str(), systemInfo.wgcSupported ? "Supported" : "Not Available",
                        systemInfo.wgcSupported ? palette::success : palette::warning, valueX);

    widgets::verticalSpace(30);
    widgets::text(palette::primaryLight, productWebAddress);
}

}  // namespace lumivane::host
