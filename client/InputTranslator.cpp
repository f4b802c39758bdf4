#include "InputTranslator.h"

#include <algorithm>
#include <cmath>

namespace lumivane::client {

namespace {
constexpr std::uint8_t kMouse = 1, kKeyboard = 2;
constexpr std::uint8_t kMove = 1, kButtonDown = 2, kButtonUp = 3, kWheel = 4;
constexpr std::uint8_t kKeyDown = 1, kKeyUp = 2, kCharacter = 3;
}  // namespace

InputTranslator::InputTranslator(std::uint8_t streamId, std::int32_t windowWidth, std::int32_t windowHeight)
    : streamId_(streamId), width_(windowWidth), height_(windowHeight) {}

std::uint16_t InputTranslator::normalise(const Coordinate& coordinate, std::int32_t extent) {
    double value = coordinate.percent ? coordinate.value / 100.0 * 65535.0
                                      : std::ceil(coordinate.value * 65535.0 / std::max(extent, 1));
    if (coordinate.percent) value = std::round(value);
    return static_cast<std::uint16_t>(std::clamp(value, 0.0, 65535.0));
}

host::InputEvent InputTranslator::mouse(std::uint8_t action) const {
    host::InputEvent e;
    e.streamId = streamId_;
    e.type = kMouse;
    e.action = action;
    e.x = pointerX_;
    e.y = pointerY_;
    return e;
}

host::InputEvent InputTranslator::keyboard(std::uint8_t action) const {
    host::InputEvent e;
    e.streamId = streamId_;
    e.type = kKeyboard;
    e.action = action;
    return e;
}

std::vector<host::InputEvent> InputTranslator::translate(const InputCommand& command) {
    using K = InputCommand::Kind;
    std::vector<host::InputEvent> out;
    switch (command.kind) {
        case K::Move:
            pointerX_ = normalise(command.x, width_);
            pointerY_ = normalise(command.y, height_);
            out.push_back(mouse(kMove));
            break;
        case K::Click:
        case K::Down:
        case K::Up:
            if (command.kind != K::Up) out.push_back(mouse(kButtonDown));
            if (command.kind != K::Down) out.push_back(mouse(kButtonUp));
            for (auto& e : out) e.code = command.button;
            break;
        case K::Wheel:
            out.push_back(mouse(kWheel));
            out.back().wheelDelta = command.wheelDelta;
            break;
        case K::Key:
            out.push_back(keyboard(kKeyDown));
            out.back().code = command.keyCode;
            out.back().modifiers = command.modifiers;
            // Modifiers 0 on the release: the host lets go of the ones it pressed.
            out.push_back(keyboard(kKeyUp));
            out.back().code = command.keyCode;
            break;
        case K::Type:
            for (char16_t unit : command.text) {
                out.push_back(keyboard(kCharacter));
                out.back().x = static_cast<std::uint16_t>(unit);
            }
            break;
        case K::Wait:
            break;
    }
    return out;
}

bool toClientInput(const host::InputEvent& event, host::ClientInput& out) {
    out = {};
    out.streamId = event.streamId;
    out.type = event.type;
    out.action = event.action;
    out.x = event.x;
    out.y = event.y;
    out.code = event.code;
    out.modifiers = event.modifiers;
    out.wheelDelta = event.wheelDelta;
    if (event.type == kKeyboard && event.action == kCharacter) {
        if (event.x > 0xFF) return false;
        out.code = static_cast<std::uint8_t>(event.x);
        out.x = 0;
    }
    return true;
}

}  // namespace lumivane::client
