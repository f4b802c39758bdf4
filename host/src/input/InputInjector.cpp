#include "input/InputInjector.h"

#include "core/Logging.h"


namespace lumivane::host {
namespace {

constexpr uint16_t kModifierVks[4] = {16, 17, 18, 91};

bool isExtendedKey(uint8_t vk) {
    switch (vk) {
    case 33: case 34: case 35: case 36: case 37: case 38: case 39: case 40:
    case 45: case 46: case 111: case 144: case 163: case 165:
        return true;
    default:
        return false;
    }
}

InputRecord keyboardRecord(uint16_t vk, uint16_t scan, uint32_t flags) {
    InputRecord r;
    r.type = InputType::Keyboard;
    r.vk = vk;
    r.scan = scan;
    r.flags = flags;
    return r;
}

InputRecord mouseRecord(uint32_t flags, uint32_t mouseData) {
    InputRecord r;
    r.type = InputType::Mouse;
    r.flags = flags;
    r.mouseData = mouseData;
    return r;
}

// Divides after multiplying; a zero-sized screen maps to its origin rather than trapping.
int32_t scaleDiv(int32_t value, int32_t mul, int32_t div) {
    if (div == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(value) * mul / div);
}

}  // namespace

InputInjector::InputInjector(std::unique_ptr<InputSink> sink) : sink_(std::move(sink)) {}

bool InputInjector::initialize(const InputInjectorConfig& config) {
    absoluteMode_ = config.absoluteMode;
    scale_ = config.scale;
    LV_INFO("Input injector initialized (absolute mode: {})", absoluteMode_);
    return true;
}

void InputInjector::setTargetWindow(uint32_t windowId) { target_ = windowId; }

// Presses, wheel turns and keys go to the window on top and the one with the keyboard, so
// the stream's window must be both before any of them, or another window on the desktop
// takes input meant for it. Pointer motion alone leaves the desktop's order as it is.
// When the system refuses (a modal dialog of the window's own keeps the keyboard, say),
// keys and the wheel go where it sends them rather than each waiting for a refusal again;
// a click, the user's plain aim at the window, tries again.
void InputInjector::ensureFront(bool press) {
    if (target_ == 0 || sink_->isForeground(target_)) {
        refusedFront_ = 0;
        return;
    }
    if (!press && refusedFront_ == target_) return;
    if (sink_->bringToFront(target_)) {
        refusedFront_ = 0;
        return;
    }
    refusedFront_ = target_;
    LV_WARN("Could not bring window {:x} to the front for input", target_);
}

void InputInjector::absolutePixel(uint16_t x, uint16_t y, int32_t& px, int32_t& py) {
    ScreenRect rect;
    if (sink_->windowRect(target_, rect)) {
        px = rect.left + scaleDiv(rect.right - rect.left, x, 65535);
        py = rect.top + scaleDiv(rect.bottom - rect.top, y, 65535);
        return;
    }
    const ScreenMetrics vs = sink_->virtualScreen();
    px = vs.x + scaleDiv(vs.width, x, 65535);
    py = vs.y + scaleDiv(vs.height, y, 65535);
}

void InputInjector::moveMouse(uint16_t x, uint16_t y) {
    constexpr uint32_t kAbsoluteMove =
        MouseFlags::Move | MouseFlags::VirtualDesk | MouseFlags::Absolute;
    InputRecord r = mouseRecord(kAbsoluteMove, 0);
    if (!absoluteMode_) {
        r.flags = MouseFlags::Move;
        r.dx = static_cast<int32_t>(static_cast<float>(x) * scale_);
        r.dy = static_cast<int32_t>(static_cast<float>(y) * scale_);
    } else if (target_ == 0) {
        r.dx = x;
        r.dy = y;
    } else {
        int32_t px = 0;
        int32_t py = 0;
        absolutePixel(x, y, px, py);
        const ScreenMetrics vs = sink_->virtualScreen();
        r.dx = scaleDiv(px - vs.x, 65535, vs.width);
        r.dy = scaleDiv(py - vs.y, 65535, vs.height);
    }
    sendOne(r);
}

void InputInjector::mouseButton(uint8_t button, bool down) {
    if (down) ensureFront(true);
    InputRecord r = mouseRecord(0, 0);
    switch (button) {
    case 0: r.flags = down ? MouseFlags::LeftDown : MouseFlags::LeftUp; break;
    case 1: r.flags = down ? MouseFlags::RightDown : MouseFlags::RightUp; break;
    case 2: r.flags = down ? MouseFlags::MiddleDown : MouseFlags::MiddleUp; break;
    case 3: case 4:
        r.flags = down ? MouseFlags::XDown : MouseFlags::XUp;
        r.mouseData = button == 3 ? 1 : 2;
        break;
    default: break;
    }
    sendOne(r);
}

void InputInjector::mouseWheel(int16_t delta) {
    ensureFront(false);
    sendOne(mouseRecord(MouseFlags::Wheel, static_cast<uint32_t>(static_cast<int32_t>(delta))));
}

void InputInjector::syncModifiers(uint8_t modifiers) {
    for (int i = 0; i < 4; ++i) {
        const bool want = (modifiers >> i) & 1;
        if (want == modifierDown_[i]) continue;
        sendOne(keyboardRecord(kModifierVks[i], 0, want ? 0 : KeyFlags::KeyUp));
        modifierDown_[i] = want;
    }
}

void InputInjector::keyEvent(uint8_t vk, bool down, uint8_t modifiers) {
    if (down) ensureFront(false);
    syncModifiers(modifiers);
    uint32_t flags = down ? 0 : KeyFlags::KeyUp;
    if (isExtendedKey(vk)) flags |= KeyFlags::ExtendedKey;
    sendOne(keyboardRecord(vk, sink_->scanCode(vk), flags));
}

void InputInjector::typeChar(uint16_t codeUnit) {
    ensureFront(false);
    sendOne(keyboardRecord(0, codeUnit, KeyFlags::Unicode));
    sendOne(keyboardRecord(0, codeUnit, KeyFlags::Unicode | KeyFlags::KeyUp));
}

void InputInjector::processMouse(const InjectorEvent& e) {
    if (e.action < 1 || e.action > 4) return;
    moveMouse(e.x, e.y);
    if (e.action == 2) mouseButton(e.code, true);
    if (e.action == 3) mouseButton(e.code, false);
    if (e.action == 4) mouseWheel(e.wheelDelta);
}

void InputInjector::processKeyboard(const InjectorEvent& e) {
    if (e.action == 1) keyEvent(e.code, true, e.modifiers);
    if (e.action == 2) keyEvent(e.code, false, e.modifiers);
    if (e.action == 3) typeChar(e.code);
}

void InputInjector::processEvent(const InjectorEvent& event) {
    if (event.type == 1) processMouse(event);
    if (event.type == 2) processKeyboard(event);
}

void InputInjector::sendInputs(const InputRecord* records, uint32_t count) {
    const uint32_t sent = sink_->sendInputs(records, count);
    if (sent < count) LV_WARN("SendInput: sent {} of {} inputs", sent, count);
}

bool InputInjector::resizeWindow(WindowHandle window, int32_t clientWidth,
                                 int32_t clientHeight, bool keepPosition) {
    if (window == 0 || !sink_->isWindow(window)) {
        LV_ERROR("Invalid window handle for resize");
        return false;
    }
    ScreenRect current;
    if (!sink_->windowRect(window, current)) {
        LV_ERROR("Failed to get window rect: {}", sink_->lastError());
        return false;
    }
    const ScreenRect outer =
        sink_->adjustRect(ScreenRect{0, 0, clientWidth, clientHeight}, sink_->styles(window));
    int32_t width = outer.right - outer.left;
    int32_t height = outer.bottom - outer.top;
    int32_t minWidth = 0;
    int32_t minHeight = 0;
    sink_->minimumTrackSize(window, minWidth, minHeight);
    if (minWidth > 0 && static_cast<uint32_t>(minWidth) > static_cast<uint32_t>(width)) width = minWidth;
    if (minHeight > 0 && static_cast<uint32_t>(minHeight) > static_cast<uint32_t>(height)) height = minHeight;
    int32_t left = current.left;
    int32_t top = current.top;
    if (!keepPosition) {
        const ScreenMetrics primary = sink_->primaryScreen();
        left = (primary.width - width) / 2;
        top = (primary.height - height) / 2;
    }
    if (!sink_->setPosition(window, left, top, width, height, keepPosition)) {
        LV_ERROR("SetWindowPos failed: {}", sink_->lastError());
        return false;
    }
    LV_INFO("Window resized to {}x{} (client: {}x{})", width, height, clientWidth, clientHeight);
    return true;
}

}  // namespace lumivane::host
