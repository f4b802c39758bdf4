#pragma once
// The window-system queries the window list and the capture diagnostics need, in neutral
// types. Strings are UTF-8. Implementations must allow calls from several threads at once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::host {

// The window id used everywhere: low 32 bits of an HWND, or an X11 XID.
using WindowHandle = std::uint32_t;

struct WindowRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// An icon already drawn over black: width * height BGRA pixels, rows top-down, no padding.
struct IconImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bgra;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Top-level windows, in the system's own order.
    virtual std::vector<WindowHandle> topLevelWindows() = 0;
    virtual bool isWindow(WindowHandle window) = 0;
    virtual bool isVisible(WindowHandle window) = 0;
    virtual std::string title(WindowHandle window) = 0;
    virtual std::string className(WindowHandle window) = 0;
    virtual bool isToolWindow(WindowHandle window) = 0;
    virtual bool hasCaption(WindowHandle window) = 0;
    virtual bool isAppWindow(WindowHandle window) = 0;
    virtual bool isCloaked(WindowHandle window) = 0;
    virtual bool isMinimized(WindowHandle window) = 0;
    virtual bool isMaximized(WindowHandle window) = 0;
    // Outer rectangle in screen coordinates.
    virtual std::optional<WindowRect> windowRect(WindowHandle window) = 0;
    // Client-area size: right, bottom hold width and height; left, top are 0.
    virtual std::optional<WindowRect> clientRect(WindowHandle window) = 0;
    // Full image path of the owning process; empty when it cannot be read.
    virtual std::string processImagePath(WindowHandle window) = 0;
    // Null when the window has no icon. A failure worth a warning is logged here.
    virtual std::optional<IconImage> icon(WindowHandle window) = 0;
    // Raw style words where the platform has them (for diagnostics only).
    virtual std::optional<std::uint32_t> style(WindowHandle) { return std::nullopt; }
    virtual std::optional<std::uint32_t> exStyle(WindowHandle) { return std::nullopt; }

    // The platform's real one; null (after its log line) when the window system is unreachable.
    static std::unique_ptr<WindowSystem> create();
};

}  // namespace lumivane::host
