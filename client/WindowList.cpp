#include "WindowList.h"

#include "TextScan.h"

#include <fmt/format.h>

#include <limits>

namespace lumivane::client {

namespace {

template <typename T>
T field(const nlohmann::json& object, const char* key, T fallback) {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    if constexpr (std::is_same_v<T, std::string>) {
        return it->is_string() ? it->template get<std::string>() : fallback;
    } else if constexpr (std::is_same_v<T, bool>) {
        return it->is_boolean() ? it->template get<bool>() : fallback;
    } else {
        if (it->is_number_float()) {
            // Converting a float the type cannot hold is undefined; it reads as the fallback.
            const double value = it->template get<double>();
            if (!(value > double(std::numeric_limits<T>::min()) - 1 && value < double(std::numeric_limits<T>::max()) + 1))
                return fallback;
        }
        return it->is_number() ? it->template get<T>() : fallback;
    }
}

protocol::WindowInfo windowFromJson(const nlohmann::json& j) {
    protocol::WindowInfo w;
    w.id = field<std::uint32_t>(j, "id", 0);
    w.title = field<std::string>(j, "title", "");
    w.processName = field<std::string>(j, "processName", "");
    w.className = field<std::string>(j, "className", "");
    w.x = field<std::int32_t>(j, "x", 0);
    w.y = field<std::int32_t>(j, "y", 0);
    w.width = field<std::int32_t>(j, "width", 0);
    w.height = field<std::int32_t>(j, "height", 0);
    w.isMinimized = field<bool>(j, "isMinimized", false);
    w.isMaximized = field<bool>(j, "isMaximized", false);
    w.isVisible = field<bool>(j, "isVisible", false);
    w.iconBase64 = field<std::string>(j, "iconBase64", "");
    return w;
}

std::string describe(const protocol::WindowInfo& w) { return fmt::format("{:x} \"{}\"", w.id, w.title); }

}  // namespace

std::optional<WindowList> WindowList::fromMessage(const nlohmann::json& message, std::string& error) {
    auto it = message.find("windows");
    if (it == message.end() || !it->is_array()) {
        error = "window_list without a \"windows\" array";
        return std::nullopt;
    }
    WindowList list;
    for (const auto& entry : *it) {
        if (!entry.is_object()) {
            error = "window_list holds an entry that is not an object";
            return std::nullopt;
        }
        list.windows_.push_back(windowFromJson(entry));
    }
    return list;
}

const protocol::WindowInfo* WindowList::findById(std::uint32_t id, std::string& error) const {
    for (const auto& w : windows_) {
        if (w.id == id) return &w;
    }
    error = fmt::format("no window with id {:x} in the host's list of {} windows", id, windows_.size());
    return nullptr;
}

const protocol::WindowInfo* WindowList::findByTitle(const std::string& text, std::string& error) const {
    for (const auto& w : windows_) {
        if (w.title == text) return &w;
    }
    const auto needle = toLower(text);
    std::vector<const protocol::WindowInfo*> found;
    for (const auto& w : windows_) {
        if (toLower(w.title).find(needle) != std::string::npos) found.push_back(&w);
    }
    if (found.size() == 1) return found.front();
    if (found.empty()) {
        error = fmt::format("no window title contains \"{}\" ({} windows listed)", text, windows_.size());
        return nullptr;
    }
    std::string names;
    for (const auto* w : found) names += (names.empty() ? "" : ", ") + describe(*w);
    error = fmt::format("\"{}\" matches {} windows: {}; use --window ID", text, found.size(), names);
    return nullptr;
}

}  // namespace lumivane::client
