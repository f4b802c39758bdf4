#pragma once
// Points the settings folder's variable (fakes/Environment.h) at a fresh folder for the
// owner's lifetime, then restores the variable and removes the folder.

#include "fakes/Environment.h"

#include <atomic>
#include <filesystem>
#include <string>

namespace lumivane::host {

class TempConfigHome {
public:
    explicit TempConfigHome(const std::string& name) : saved_({settingsHomeVariable()}) {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("lumivane-" + name + "." + std::to_string(currentProcessId()) + "." + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        setEnvironmentVariable(settingsHomeVariable(), root_.string());
    }
    ~TempConfigHome() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    std::filesystem::path settingsPath() const { return root_ / "Lumivane" / "settings.json"; }

private:
    SavedEnvironment saved_;
    std::filesystem::path root_;
};

}  // namespace lumivane::host
