// The settings file as the host loads it at start-up, from a folder of its own; whatever
// loads must save and load again to the same values.
#include "FuzzSupport.h"
#include "app/Settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace lumivane;
using namespace lumivane::host;

namespace {

std::string settingsPath() {
    // Memory-backed where there is such a folder: the target writes the file three times a run.
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    const auto folder = base / ("lumivane-fuzz-settings-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    static const struct Cleanup {
        std::filesystem::path folder;
        ~Cleanup() {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } cleanup{folder};
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return Settings::getSettingsPath();
}

bool same(const Settings& a, const Settings& b) {
    return a.signalingPort == b.signalingPort && a.videoPort == b.videoPort && a.audioPort == b.audioPort &&
           a.inputPort == b.inputPort && a.targetBitrate == b.targetBitrate && a.maxBitrate == b.maxBitrate &&
           a.targetFps == b.targetFps && a.preferredEncoder == b.preferredEncoder &&
           a.answerDiscovery == b.answerDiscovery;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = (fuzz::quietLogging(), settingsPath());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Settings settings;
    if (!settings.load()) return 0;
    fuzz::require(settings.save(), "loaded settings save");
    Settings again;
    fuzz::require(again.load() && same(settings, again), "saved settings load to the same values");
    return 0;
}
