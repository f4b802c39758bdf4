#pragma once
// Environment variables for tests, on either platform, and a guard that puts them back.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumivane::host {

std::optional<std::string> getEnvironmentVariable(const char* name);
void setEnvironmentVariable(const char* name, const std::string& value);
void unsetEnvironmentVariable(const char* name);
int currentProcessId();

// The variable through which tests move the settings folder: XDG_CONFIG_HOME on Linux,
// LOCALAPPDATA on Windows.
const char* settingsHomeVariable();

// Remembers the named variables and restores them (set or unset) when it goes.
class SavedEnvironment {
public:
    explicit SavedEnvironment(std::vector<const char*> names) {
        for (const char* name : names) saved_.emplace_back(name, getEnvironmentVariable(name));
    }
    ~SavedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) setEnvironmentVariable(name, *value);
            else unsetEnvironmentVariable(name);
        }
    }
    SavedEnvironment(const SavedEnvironment&) = delete;
    SavedEnvironment& operator=(const SavedEnvironment&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace lumivane::host
