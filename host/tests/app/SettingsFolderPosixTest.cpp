#include "app/Settings.h"

#include "fakes/Environment.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lumivane::host {
namespace {

namespace fs = std::filesystem;

TEST(SettingsFolderPosixTest, PathFallsBackToHomeThenBareName) {
    SavedEnvironment saved({"XDG_CONFIG_HOME", "HOME"});
    const fs::path root = fs::temp_directory_path() / ("lv_settings_home_" + std::to_string(currentProcessId()));
    fs::remove_all(root);
    unsetEnvironmentVariable("XDG_CONFIG_HOME");
    setEnvironmentVariable("HOME", root.string());
    EXPECT_EQ(Settings::getSettingsPath(), (root / ".config" / "Lumivane" / "settings.json").string());
    EXPECT_TRUE(fs::is_directory(root / ".config" / "Lumivane"));
    unsetEnvironmentVariable("HOME");
    EXPECT_EQ(Settings::getSettingsPath(), "settings.json");
    fs::remove_all(root);
}

}  // namespace
}  // namespace lumivane::host
