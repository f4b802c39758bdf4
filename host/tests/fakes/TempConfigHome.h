#pragma once
// Points XDG_CONFIG_HOME at a fresh folder for the owner's lifetime, then restores the
// variable and removes the folder.

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace lumivane::host {

class TempConfigHome {
public:
    explicit TempConfigHome(const std::string& name) {
        std::string pattern = "/tmp/lumivane-" + name + ".XXXXXX";
        root_ = mkdtemp(pattern.data());
        if (const char* previous = std::getenv("XDG_CONFIG_HOME")) previous_ = previous;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    }
    ~TempConfigHome() {
        if (previous_) setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    std::filesystem::path settingsPath() const { return root_ / "Lumivane" / "settings.json"; }

private:
    std::filesystem::path root_;
    std::optional<std::string> previous_;
};

}  // namespace lumivane::host
