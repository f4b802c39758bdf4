#pragma once
// What the injector needs from the window system. Called from one thread at a time
// (the injector's caller serialises).

#include "input/InputRecord.h"

#include <cstdint>
#include <memory>

namespace lumivane::host {

class InputSink {
public:
    virtual ~InputSink() = default;

    // Injects the records in order; returns how many were inserted.
    virtual uint32_t sendInputs(const InputRecord* records, uint32_t count) = 0;
    virtual uint16_t scanCode(uint16_t vk) = 0;
    virtual bool windowRect(WindowHandle window, ScreenRect& rect) = 0;
    virtual ScreenMetrics virtualScreen() = 0;
    virtual ScreenMetrics primaryScreen() = 0;
    virtual bool isWindow(WindowHandle window) = 0;
    virtual WindowStyles styles(WindowHandle window) = 0;
    // Outer rectangle for a client rectangle, like AdjustWindowRectEx without a menu.
    virtual ScreenRect adjustRect(const ScreenRect& client, const WindowStyles& styles) = 0;
    // The window's minimum tracking size; 0 where it has none.
    virtual void minimumTrackSize(WindowHandle window, int32_t& width, int32_t& height) = 0;
    virtual bool setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width,
                             int32_t height, bool keepPosition) = 0;
    virtual uint32_t lastError() = 0;

    // The window gets the keyboard and no other window covers any part of it.
    virtual bool isForeground(WindowHandle window) = 0;
    // Raises the window above every other and gives it the keyboard, restoring it first
    // when minimised; true once that has taken effect (a window manager may take a moment).
    virtual bool bringToFront(WindowHandle window) = 0;

    // The platform's real sink, or null when the window system cannot be reached.
    static std::unique_ptr<InputSink> create();
};

}  // namespace lumivane::host
