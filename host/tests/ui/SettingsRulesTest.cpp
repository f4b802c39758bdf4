#include "ui/SettingsRules.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

TEST(SettingsRulesTest, NamedPresetsSetBothBitrates) {
    const std::pair<std::int32_t, std::int32_t> expected[] = {
        {10000, 15000}, {20000, 30000}, {50000, 75000}, {100000, 150000}};
    for (std::int32_t index = 0; index < 4; ++index) {
        UISettings settings;
        settings.targetBitrate = 1;
        settings.maxBitrate = 2;
        ASSERT_TRUE(applyQualityPreset(settings, index));
        EXPECT_EQ(settings.qualityPreset, index);
        EXPECT_EQ(settings.targetBitrate, expected[index].first) << qualityPresets()[index].label;
        EXPECT_EQ(settings.maxBitrate, expected[index].second) << qualityPresets()[index].label;
    }
    EXPECT_STREQ(qualityPresets()[3].label, "Ultra (100 Mbps)");
    EXPECT_STREQ(qualityPresets()[4].label, "Custom");
}

TEST(SettingsRulesTest, CustomKeepsBitratesAndUnknownIndexChangesNothing) {
    UISettings settings;
    settings.targetBitrate = 33000;
    settings.maxBitrate = 44000;
    ASSERT_TRUE(applyQualityPreset(settings, customPresetIndex));
    EXPECT_EQ(settings.qualityPreset, customPresetIndex);
    EXPECT_EQ(settings.targetBitrate, 33000);
    EXPECT_EQ(settings.maxBitrate, 44000);

    const UISettings before = settings;
    EXPECT_FALSE(applyQualityPreset(settings, 5));
    EXPECT_FALSE(applyQualityPreset(settings, -1));
    EXPECT_EQ(settings, before);
}

TEST(SettingsRulesTest, BitrateSliderSwitchesToCustomWithHalfAgainAsPeak) {
    UISettings settings;
    applyBitrateSlider(settings, 30);
    EXPECT_EQ(settings.qualityPreset, customPresetIndex);
    EXPECT_EQ(settings.targetBitrate, 30000);
    EXPECT_EQ(settings.maxBitrate, 45000);

    settings.targetBitrate = 12999;  // e.g. lowered by adaptive bitrate
    EXPECT_EQ(bitrateSliderValue(settings), 12);
}

TEST(SettingsRulesTest, ResetRestoresEveryEditableFieldButKeepsThePortsInUse) {
    UISettings settings;
    settings.signalingPort = 19876;
    settings.videoPort = 19944;
    settings.audioPort = 19945;
    settings.inputPort = 19946;
    settings.qualityPreset = 0;
    settings.targetFps = 60;
    settings.targetBitrate = 5000;
    settings.maxBitrate = 7500;
    settings.codec = "hevc";
    settings.audioBitrate = 320;
    settings.microphoneEnabled = true;
    settings.microphoneVolume = 10;
    settings.noiseCancellation = false;
    settings.trackControllers = false;
    settings.forwardTracking = true;
    settings.lowLatencyMode = false;
    settings.adaptiveBitrate = false;
    settings.sliceEncoding = false;

    resetToDefaults(settings);

    UISettings expected;
    expected.signalingPort = 19876;
    expected.videoPort = 19944;
    expected.audioPort = 19945;
    expected.inputPort = 19946;
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(settings.targetBitrate, 50000);
    EXPECT_EQ(settings.maxBitrate, 100000);
    EXPECT_EQ(settings.targetFps, 72);
}

}  // namespace
}  // namespace lumivane::host
