#pragma once
// InputSink on XTest. Owns its own display connection; one caller at a time.

#include "input/InputSink.h"
#include "input/x11/X11Foreground.h"
#include "input/x11/X11SpareKeys.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>

namespace lumivane::host {

class X11InputSink : public InputSink {
public:
    // Null when the display cannot be opened or lacks XTest.
    static std::unique_ptr<X11InputSink> open(const char* displayName = nullptr);
    ~X11InputSink() override;

    uint32_t sendInputs(const InputRecord* records, uint32_t count) override;
    uint16_t scanCode(uint16_t vk) override;
    bool windowRect(WindowHandle window, ScreenRect& rect) override;
    ScreenMetrics virtualScreen() override;
    ScreenMetrics primaryScreen() override;
    bool isWindow(WindowHandle window) override;
    WindowStyles styles(WindowHandle window) override;
    ScreenRect adjustRect(const ScreenRect& client, const WindowStyles& styles) override;
    void minimumTrackSize(WindowHandle window, int32_t& width, int32_t& height) override;
    bool setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width,
                     int32_t height, bool keepPosition) override;
    uint32_t lastError() override { return lastError_; }
    bool isForeground(WindowHandle window) override;
    bool bringToFront(WindowHandle window) override;

private:
    struct DisplayCloser {
        void operator()(Display* d) const { XCloseDisplay(d); }
    };
    using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

    explicit X11InputSink(DisplayPtr display);
    bool applyMouse(const InputRecord& r);
    bool applyKey(const InputRecord& r);
    bool applyUnicode(const InputRecord& r);
    bool applyWheel(int32_t delta);
    bool pressKeysym(unsigned long keysym, bool down);
    bool typeCodePoint(uint32_t codePoint, bool down);
    bool sendMoveResize(Window w, int32_t left, int32_t top, int32_t width, int32_t height,
                        bool keepPosition);

    // Declared first: the parts below use the connection until they are gone.
    DisplayPtr display_;
    Window root_ = 0;
    X11SpareKeys spareKeys_;
    X11Foreground foreground_;
    // The keycode a character's press went to, so its release goes there too.
    KeyCode charKeycode_ = 0;
    uint16_t pendingHighSurrogate_ = 0;
    int32_t wheelRemainder_ = 0;
    uint32_t lastError_ = 0;
};

}  // namespace lumivane::host
