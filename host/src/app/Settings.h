#pragma once
// The host's persisted configuration: ports, bit rates, frame rate, encoder preference.

#include <cstdint>
#include <string>

namespace lumivane::host {

class Settings {
public:
    Settings() { resetToDefaults(); }

    // Creates the settings folder on every call; throws std::filesystem::filesystem_error
    // when it cannot.
    static std::string getSettingsPath();

    // False without a log line when the file is missing; false with one when it is
    // malformed. Fields read before a failure keep their new values.
    bool load();
    // Replaces the file atomically, so a failed save leaves the old file intact.
    bool save() const;
    void resetToDefaults();

    std::uint16_t signalingPort;
    std::uint16_t videoPort;
    std::uint16_t audioPort;
    std::uint16_t inputPort;
    std::uint32_t targetBitrate;  // kbit/s
    std::uint32_t maxBitrate;     // kbit/s
    std::uint32_t targetFps;
    std::string preferredEncoder;
    // Off hides the host from discovery; clients then need its address.
    bool answerDiscovery;
};

}  // namespace lumivane::host
