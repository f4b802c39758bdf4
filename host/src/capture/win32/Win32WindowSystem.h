#pragma once
// WindowSystem over Win32: EnumWindows and the window queries, DWM for cloaking, GDI for
// icon pixels. Window ids are the low 32 bits of the HWND, zero-extended back.

#include "capture/WindowSystem.h"

namespace lumivane::host {

class Win32WindowSystem final : public WindowSystem {
public:
    std::vector<WindowHandle> topLevelWindows() override;
    bool isWindow(WindowHandle window) override;
    bool isVisible(WindowHandle window) override;
    std::string title(WindowHandle window) override;
    std::string className(WindowHandle window) override;
    bool isToolWindow(WindowHandle window) override;
    bool hasCaption(WindowHandle window) override;
    bool isAppWindow(WindowHandle window) override;
    // DWM's cloaked attribute; where DWM cannot tell (Wine), not cloaked.
    bool isCloaked(WindowHandle window) override;
    bool isMinimized(WindowHandle window) override;
    bool isMaximized(WindowHandle window) override;
    std::optional<WindowRect> windowRect(WindowHandle window) override;
    std::optional<WindowRect> clientRect(WindowHandle window) override;
    std::string processImagePath(WindowHandle window) override;
    std::optional<IconImage> icon(WindowHandle window) override;
    std::optional<std::uint32_t> style(WindowHandle window) override;
    std::optional<std::uint32_t> exStyle(WindowHandle window) override;
};

}  // namespace lumivane::host
