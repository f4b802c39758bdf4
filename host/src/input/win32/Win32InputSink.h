#pragma once
// InputSink over SendInput and the Win32 window calls. One caller at a time.

#include "input/InputSink.h"

namespace lumivane::host {

class Win32InputSink final : public InputSink {
public:
    uint32_t sendInputs(const InputRecord* records, uint32_t count) override;
    uint16_t scanCode(uint16_t vk) override;
    bool windowRect(WindowHandle window, ScreenRect& rect) override;
    ScreenMetrics virtualScreen() override;
    ScreenMetrics primaryScreen() override;
    bool isWindow(WindowHandle window) override;
    WindowStyles styles(WindowHandle window) override;
    ScreenRect adjustRect(const ScreenRect& client, const WindowStyles& styles) override;
    void minimumTrackSize(WindowHandle window, int32_t& width, int32_t& height) override;
    bool setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width, int32_t height,
                     bool keepPosition) override;
    uint32_t lastError() override;
    // The foreground window has the keyboard and sits above the others.
    bool isForeground(WindowHandle window) override;
    bool bringToFront(WindowHandle window) override;
};

}  // namespace lumivane::host
