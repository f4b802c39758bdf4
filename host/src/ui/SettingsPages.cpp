// The pages that edit UISettings: Streaming, Audio, Input and Settings. Every stored
// edit is announced through settingsChanged(); widgets that report no change fire nothing.

#include "ui/Palette.h"
#include "ui/SettingsRules.h"
#include "ui/UIManager.h"
#include "ui/Widgets.h"

#include <fmt/format.h>
#include <imgui.h>

#include <array>

namespace lumivane::host {
namespace {

// Typed-in values (Ctrl+click) are clamped too, so no field leaves its range.
constexpr ImGuiSliderFlags sliderFlags = ImGuiSliderFlags_AlwaysClamp;

bool checkboxWithHint(const char* label, bool* value, const char* hintText) {
    const bool changed = ImGui::Checkbox(label, value);
    widgets::hint(hintText);
    return changed;
}

bool slider(const char* id, float width, int* value, int min, int max, const char* format) {
    widgets::StyleColours grab({{ImGuiCol_SliderGrab, palette::sliderGrab},
                                {ImGuiCol_SliderGrabActive, palette::primaryBright}});
    ImGui::SetNextItemWidth(width);
    return ImGui::SliderInt(id, value, min, max, format, sliderFlags);
}

}  // namespace

void UIManager::renderStreaming() {
    widgets::pageHeader(fontTitle_, "Streaming", "Configure video quality and encoding settings");

    widgets::sectionHeader(fontLarge_, "Quality Preset");
    static const auto presetLabels = [] {
        std::array<const char*, qualityPresetCount> labels{};
        for (std::size_t i = 0; i < labels.size(); ++i) labels[i] = qualityPresets()[i].label;
        return labels;
    }();
    int preset = uiSettings.qualityPreset;
    if (widgets::comboBox("##QualityPreset", 350, &preset, presetLabels.data(), static_cast<int>(presetLabels.size())) &&
        applyQualityPreset(uiSettings, preset)) {
        settingsChanged();
    }

    widgets::sectionHeader(fontLarge_, "Target Frame Rate");
    renderFrameRateButtons();
    renderBitrateSlider();

    widgets::sectionHeader(fontLarge_, "Video Codec");
    static constexpr const char* codecs[] = {"H.264", "HEVC (H.265)"};
    int codec = uiSettings.codec == "h264" ? 0 : 1;
    if (widgets::comboBox("##Codec", 250, &codec, codecs, 2)) {
        uiSettings.codec = codec == 0 ? "h264" : "hevc";
        settingsChanged();
    }

    widgets::sectionHeader(fontLarge_, "Advanced Options", 30);
    renderAdvancedOptions();
}

void UIManager::renderFrameRateButtons() {
    bool first = true;
    for (std::int32_t fps : frameRateChoices) {
        if (!first) ImGui::SameLine(0, 10);
        first = false;
        const bool selected = uiSettings.targetFps == fps;
        widgets::StyleColours colours({{ImGuiCol_Button, selected ? palette::primary : palette::card},
                                       {ImGuiCol_ButtonHovered, selected ? palette::primaryLight : palette::hover}});
        const std::string label = fmt::format("{} Hz", fps);
        if (ImGui::Button(label.c_str(), {90, 45})) {
            uiSettings.targetFps = fps;
            settingsChanged();
        }
    }
}

void UIManager::renderBitrateSlider() {
    widgets::verticalSpace(25);
    {
        widgets::FontScope font(fontLarge_);
        widgets::text(palette::text, "Video Bitrate");
    }
    widgets::text(palette::textSecondary, "Higher bitrate improves quality but increases latency");
    widgets::verticalSpace(10);
    int mbps = bitrateSliderValue(uiSettings);
    if (slider("##Bitrate", 450, &mbps, 5, 150, "%d Mbps")) {
        applyBitrateSlider(uiSettings, mbps);
        settingsChanged();
    }
}

void UIManager::renderAdvancedOptions() {
    widgets::StyleVar padding(ImGuiStyleVar_FramePadding, ImVec2{6, 6});
    bool changed = checkboxWithHint("Low Latency Mode", &uiSettings.lowLatencyMode,
                                    "Optimizes for minimal motion-to-photon latency");
    widgets::verticalSpace(8);
    changed |= checkboxWithHint("Adaptive Bitrate", &uiSettings.adaptiveBitrate,
                                "Automatically adjusts bitrate based on network conditions");
    widgets::verticalSpace(8);
    changed |= checkboxWithHint("Slice-based Encoding", &uiSettings.sliceEncoding,
                                "Enables parallel encoding for lower latency");
    if (changed) settingsChanged();
}

void UIManager::renderAudio() {
    widgets::pageHeader(fontTitle_, "Audio", "Configure audio streaming and microphone settings");

    widgets::sectionHeader(fontLarge_, "Audio Quality");
    if (slider("##AudioQuality", 400, &uiSettings.audioBitrate, 64, 320, "%d kbps")) settingsChanged();

    widgets::sectionHeader(fontLarge_, "Microphone", 30);
    widgets::StyleVar padding(ImGuiStyleVar_FramePadding, ImVec2{6, 6});
    if (checkboxWithHint("Enable Microphone Passthrough", &uiSettings.microphoneEnabled,
                         "Forward Quest microphone audio to PC")) {
        settingsChanged();
    }
    if (!uiSettings.microphoneEnabled) return;
    widgets::verticalSpace(15);
    widgets::text(palette::textSecondary, "Microphone Volume");
    if (slider("##MicVolume", 350, &uiSettings.microphoneVolume, 0, 100, "%d %%")) settingsChanged();
    widgets::verticalSpace(10);
    if (checkboxWithHint("Noise Cancellation", &uiSettings.noiseCancellation,
                         "Reduce background noise from microphone")) {
        settingsChanged();
    }
}

void UIManager::renderInput() {
    widgets::pageHeader(fontTitle_, "Input", "Configure controller and tracking input");
    widgets::verticalSpace(25);
    widgets::StyleVar padding(ImGuiStyleVar_FramePadding, ImVec2{6, 6});
    if (checkboxWithHint("Track Controllers", &uiSettings.trackControllers,
                         "Use Quest controllers as mouse/keyboard input")) {
        settingsChanged();
    }
    widgets::verticalSpace(15);
    if (checkboxWithHint("Forward Tracking Data", &uiSettings.forwardTracking,
                         "Send headset and controller tracking to PC applications")) {
        settingsChanged();
    }
}

void UIManager::renderSettings() {
    widgets::pageHeader(fontTitle_, "Settings", "Application configuration");

    widgets::sectionHeader(fontLarge_, "Network (TCP)");
    widgets::text(palette::textDim, "Multi-port architecture: one port per channel (signaling, video, audio, input)");
    widgets::verticalSpace(10);
    constexpr float valueX = 180 + 30;  // the page starts 30 px in
    widgets::labelValue("Signaling:", fmt::format("{} (WebSocket)", uiSettings.signalingPort), palette::primaryLight,
                        valueX);
    widgets::labelValue("Video Port:", fmt::format("{} (TCP)", uiSettings.videoPort), palette::primaryLight, valueX);
    widgets::labelValue("Audio Port:", fmt::format("{} (TCP)", uiSettings.audioPort), palette::primaryLight, valueX);
    widgets::labelValue("Input Port:", fmt::format("{} (TCP)", uiSettings.inputPort), palette::primaryLight, valueX);

    widgets::sectionHeader(fontLarge_, "Startup");
    {
        widgets::StyleVar padding(ImGuiStyleVar_FramePadding, ImVec2{6, 6});
        ImGui::Checkbox(systemInfo.startWithSystemLabel.c_str(), &startWithSystem_);
        ImGui::Checkbox("Start Minimized", &startMinimized_);
    }

    widgets::verticalSpace(30);
    widgets::StyleColours colours({{ImGuiCol_Button, palette::card}, {ImGuiCol_ButtonHovered, palette::error}});
    if (ImGui::Button("Reset to Defaults", {180, 45})) {
        resetToDefaults(uiSettings);
        settingsChanged();
    }
}

}  // namespace lumivane::host
