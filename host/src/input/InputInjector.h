#pragma once
// Turns client pointer and keyboard input into input records for the target window and
// resizes windows on request. No lock of its own: callers serialise every call.

#include "input/InputRecord.h"
#include "input/InputSink.h"

#include <cstdint>
#include <memory>

namespace lumivane::host {

struct InputInjectorConfig {
    bool absoluteMode = true;
    float scale = 1.0f;
};

// A client input record without its stream id.
struct InjectorEvent {
    uint8_t type = 0;  // 1 mouse, 2 keyboard
    uint8_t action = 0;
    uint16_t x = 0;
    uint16_t y = 0;
    uint8_t code = 0;
    uint8_t modifiers = 0;
    int16_t wheelDelta = 0;
};

class InputInjector {
public:
    explicit InputInjector(std::unique_ptr<InputSink> sink);

    bool initialize(const InputInjectorConfig& config);
    void setTargetWindow(uint32_t windowId);
    void moveMouse(uint16_t x, uint16_t y);
    void mouseButton(uint8_t button, bool down);
    void mouseWheel(int16_t delta);
    void keyEvent(uint8_t vk, bool down, uint8_t modifiers);
    void typeChar(uint16_t codeUnit);
    void processEvent(const InjectorEvent& event);
    bool isWindow(WindowHandle window) { return window != 0 && sink_->isWindow(window); }
    bool resizeWindow(WindowHandle window, int32_t clientWidth, int32_t clientHeight,
                      bool keepPosition);
    void sendInputs(const InputRecord* records, uint32_t count);

private:
    void syncModifiers(uint8_t modifiers);
    void ensureFront(bool press);
    void processMouse(const InjectorEvent& event);
    void processKeyboard(const InjectorEvent& event);
    void absolutePixel(uint16_t x, uint16_t y, int32_t& px, int32_t& py);
    void sendOne(const InputRecord& record) { sendInputs(&record, 1); }

    std::unique_ptr<InputSink> sink_;
    bool absoluteMode_ = true;
    float scale_ = 1.0f;
    WindowHandle target_ = 0;
    WindowHandle refusedFront_ = 0;  // the system last refused to bring this one to the front
    bool modifierDown_[4] = {false, false, false, false};  // shift, ctrl, alt, win
};

}  // namespace lumivane::host
