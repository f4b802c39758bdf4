#pragma once
// One capturable window, as listed to clients and the dashboard. Copied by value.

#include <cstdint>
#include <string>

namespace lumivane::protocol {

struct WindowInfo {
    std::uint32_t id = 0;        // window id: low 32 bits of the native handle
    std::string title;           // UTF-8
    std::string processName;     // executable file name, UTF-8; empty when unknown
    std::string className;       // UTF-8
    std::int32_t x = 0;          // outer window rectangle, screen coordinates
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool isMinimized = false;
    bool isMaximized = false;
    bool isVisible = false;
    std::string iconBase64;      // base64 PNG; empty when no icon

    bool operator==(const WindowInfo&) const = default;
};

}  // namespace lumivane::protocol
