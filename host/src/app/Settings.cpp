#include "app/Settings.h"

#include "app/SettingsFolder.h"
#include "core/Logging.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace lumivane::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

fs::path settingsFolder() {
    const fs::path base = settingsBaseFolder();
    return base.empty() ? fs::path() : base / "Lumivane";
}

// A plain cast to T, as the file has always been read (70000 becomes 4464). Floating
// values are cut to an integer first; ones no integer can hold are rejected, since the
// cast would be undefined.
template <typename T>
T toField(const json& value) {
    // The library would quietly turn true into 1 for small integer types.
    if (!value.is_number())
        throw json::type_error::create(302, std::string("type must be number, but is ") + value.type_name(), &value);
    if (!value.is_number_float()) return value.get<T>();
    const double d = value.get<double>();
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!std::isfinite(d) || d >= kLimit || d < -kLimit) throw std::out_of_range("number out of range: " + value.dump());
    return static_cast<T>(static_cast<std::int64_t>(d));
}

template <typename T>
void readField(const json& root, const char* key, T& field) {
    if (auto it = root.find(key); it != root.end()) field = toField<T>(*it);
}

void readFields(const json& root, Settings& s) {
    readField(root, "signalingPort", s.signalingPort);
    readField(root, "videoPort", s.videoPort);
    readField(root, "audioPort", s.audioPort);
    readField(root, "inputPort", s.inputPort);
    readField(root, "targetBitrate", s.targetBitrate);
    readField(root, "maxBitrate", s.maxBitrate);
    readField(root, "targetFps", s.targetFps);
    if (auto it = root.find("preferredEncoder"); it != root.end()) s.preferredEncoder = it->get<std::string>();
    if (auto it = root.find("answerDiscovery"); it != root.end()) s.answerDiscovery = it->get<bool>();
}

json toJson(const Settings& s) {
    json root = json::object();  // std::map underneath, so the keys come out sorted
    root["signalingPort"] = s.signalingPort;
    root["videoPort"] = s.videoPort;
    root["audioPort"] = s.audioPort;
    root["inputPort"] = s.inputPort;
    root["targetBitrate"] = s.targetBitrate;
    root["maxBitrate"] = s.maxBitrate;
    root["targetFps"] = s.targetFps;
    root["preferredEncoder"] = s.preferredEncoder;
    root["answerDiscovery"] = s.answerDiscovery;
    return root;
}

// Writes text to a sibling temporary file and renames it over path, so the old file
// survives a crash or a full disk mid-write.
bool replaceFile(const fs::path& path, const std::string& text) {
    fs::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            LV_ERROR("Failed to open settings file for writing");
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            LV_ERROR("Failed to write settings file {}", temp.string());
            std::error_code ignored;
            fs::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        LV_ERROR("Failed to replace settings file {}: {}", path.string(), ec.message());
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

std::string Settings::getSettingsPath() {
    const fs::path folder = settingsFolder();
    if (folder.empty()) return "settings.json";
    fs::create_directories(folder);
    return (folder / "settings.json").string();
}

bool Settings::load() {
    try {
        const std::string path = getSettingsPath();
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        const json root = json::parse(in);
        if (root.is_object()) readFields(root, *this);
        LV_INFO("Settings loaded from {}", path);
        return true;
    } catch (const std::exception& e) {
        LV_ERROR("Failed to load settings: {}", e.what());
        return false;
    }
}

bool Settings::save() const {
    try {
        const std::string text = toJson(*this).dump(4);
        const std::string path = getSettingsPath();
        if (!replaceFile(path, text)) return false;
        LV_INFO("Settings saved to {}", path);
        return true;
    } catch (const std::exception& e) {
        LV_ERROR("Failed to save settings: {}", e.what());
        return false;
    }
}

void Settings::resetToDefaults() {
    signalingPort = 9876;
    videoPort = 9944;
    audioPort = 9945;
    inputPort = 9946;
    targetBitrate = 20000;
    maxBitrate = 50000;
    targetFps = 72;
    preferredEncoder = "nvenc";
    answerDiscovery = true;
}

}  // namespace lumivane::host
