#pragma once
// What each input record of the input connection asks of the injector. A template so the
// table can be checked against a recorder; the host instantiates it with InputInjector.

#include "network/InputEvent.h"

#include <cstdint>

namespace lumivane::host {

namespace input_type {
inline constexpr std::uint8_t kMouse = 1;
inline constexpr std::uint8_t kKeyboard = 2;
}  // namespace input_type

// Unknown types and actions do nothing.
template <typename Injector>
void dispatchInputEvent(Injector& injector, const InputEvent& event) {
    if (event.type == input_type::kMouse) {
        if (event.action < 1 || event.action > 4) return;
        injector.moveMouse(event.x, event.y);
        if (event.action == 2) injector.mouseButton(event.code, true);
        if (event.action == 3) injector.mouseButton(event.code, false);
        if (event.action == 4) injector.mouseWheel(event.wheelDelta);
    } else if (event.type == input_type::kKeyboard) {
        if (event.action == 1) injector.keyEvent(event.code, true, event.modifiers);
        if (event.action == 2) injector.keyEvent(event.code, false, event.modifiers);
        if (event.action == 3) injector.typeChar(event.x);  // x carries the UTF-16 code unit
    }
}

}  // namespace lumivane::host
