#pragma once
// One capturable top-level window, as listed to clients and the dashboard.

#include <cstdint>
#include <string>

namespace lumivane::protocol {

struct WindowInfo {
    std::uint32_t id = 0;
    std::string title;
    std::string processName;
    std::string className;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool isMinimized = false;
    bool isMaximized = false;
    bool isVisible = false;
    std::string iconBase64;
};

}  // namespace lumivane::protocol
