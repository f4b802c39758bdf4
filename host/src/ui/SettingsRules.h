#pragma once
// What the Streaming and Settings pages do to UISettings, apart from drawing.

#include "ui/UIRecords.h"

#include <array>
#include <cstdint>

namespace lumivane::host {

struct QualityPreset {
    const char* label;
    std::int32_t targetBitrate;  // kbit/s; ignored for Custom
    std::int32_t maxBitrate;
};

constexpr std::size_t qualityPresetCount = 5;
constexpr std::int32_t customPresetIndex = 4;
const std::array<QualityPreset, qualityPresetCount>& qualityPresets();
constexpr std::array<std::int32_t, 4> frameRateChoices{72, 80, 90, 120};

// Stores the preset; the four named ones also set both bitrates, Custom keeps them.
// An index outside the table changes nothing and returns false.
bool applyQualityPreset(UISettings& settings, std::int32_t index);
// The bitrate slider's value in Mbps: switches to Custom, sets target and peak (1.5x).
void applyBitrateSlider(UISettings& settings, std::int32_t mbps);
// What the bitrate slider shows for the current target.
std::int32_t bitrateSliderValue(const UISettings& settings);
// "Reset to Defaults": every editable field to its initial value. The ports are kept:
// they are read-only facts about the running host, which keeps listening where it does.
void resetToDefaults(UISettings& settings);

}  // namespace lumivane::host
