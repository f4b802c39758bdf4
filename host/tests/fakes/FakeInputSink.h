#pragma once
// Scriptable InputSink: records every record sent and counts the calls made.

#include "input/InputSink.h"

#include <vector>

namespace lumivane::host {

class FakeInputSink : public InputSink {
public:
    struct Placement {
        WindowHandle window = 0;
        int32_t left = 0, top = 0, width = 0, height = 0;
        bool keepPosition = false;
    };

    // Script
    bool rectOk = true;
    ScreenRect rect{};
    ScreenMetrics screen{0, 0, 1920, 1080};
    ScreenMetrics primary{0, 0, 1920, 1080};
    bool windowExists = true;
    int32_t frameWidth = 0;   // added to the client width by adjustRect
    int32_t frameHeight = 0;
    int32_t minWidth = 0, minHeight = 0;
    bool placeOk = true;
    uint32_t acceptLimit = 0xFFFFFFFFu;  // at most this many records inserted per call
    uint32_t error = 0;
    WindowHandle foreground = 0;  // bringToFront makes its window this
    bool frontOk = true;

    // Observations
    std::vector<WindowHandle> broughtToFront;
    std::vector<InputRecord> records;
    std::vector<Placement> placements;
    int sendCalls = 0;

    uint32_t sendInputs(const InputRecord* in, uint32_t count) override;
    uint16_t scanCode(uint16_t vk) override { return static_cast<uint16_t>(vk + 1000); }
    bool windowRect(WindowHandle, ScreenRect& out) override;
    ScreenMetrics virtualScreen() override { return screen; }
    ScreenMetrics primaryScreen() override { return primary; }
    bool isWindow(WindowHandle) override { return windowExists; }
    WindowStyles styles(WindowHandle) override { return WindowStyles{}; }
    ScreenRect adjustRect(const ScreenRect& client, const WindowStyles&) override;
    void minimumTrackSize(WindowHandle, int32_t& width, int32_t& height) override;
    bool setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width,
                     int32_t height, bool keepPosition) override;
    uint32_t lastError() override { return error; }
    bool isForeground(WindowHandle window) override { return window == foreground; }
    bool bringToFront(WindowHandle window) override {
        broughtToFront.push_back(window);
        if (frontOk) foreground = window;
        return frontOk;
    }
};

}  // namespace lumivane::host
