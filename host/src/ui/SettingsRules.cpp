#include "ui/SettingsRules.h"

namespace lumivane::host {

const std::array<QualityPreset, qualityPresetCount>& qualityPresets() {
    static const std::array<QualityPreset, qualityPresetCount> presets{{
        {"Low (10 Mbps)", 10000, 15000},
        {"Medium (20 Mbps)", 20000, 30000},
        {"High (50 Mbps)", 50000, 75000},
        {"Ultra (100 Mbps)", 100000, 150000},
        {"Custom", 0, 0},
    }};
    return presets;
}

bool applyQualityPreset(UISettings& settings, std::int32_t index) {
    if (index < 0 || index > customPresetIndex) return false;
    settings.qualityPreset = index;
    if (index != customPresetIndex) {
        settings.targetBitrate = qualityPresets()[index].targetBitrate;
        settings.maxBitrate = qualityPresets()[index].maxBitrate;
    }
    return true;
}

void applyBitrateSlider(UISettings& settings, std::int32_t mbps) {
    settings.qualityPreset = customPresetIndex;
    settings.targetBitrate = mbps * 1000;
    settings.maxBitrate = mbps * 1500;
}

std::int32_t bitrateSliderValue(const UISettings& settings) { return settings.targetBitrate / 1000; }

void resetToDefaults(UISettings& settings) {
    UISettings defaults;
    defaults.signalingPort = settings.signalingPort;
    defaults.videoPort = settings.videoPort;
    defaults.audioPort = settings.audioPort;
    defaults.inputPort = settings.inputPort;
    settings = defaults;
}

}  // namespace lumivane::host
