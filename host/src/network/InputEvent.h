#pragma once
// Input record of the input connection. On the wire it is byte-packed (16-bit fields at odd
// offsets); in memory it is an ordinary struct so fields can be bound to references.

#include "core/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host {

struct InputEvent {
    static constexpr std::size_t kWireSize = 12;
    static constexpr std::size_t kXOffset = 3;
    static constexpr std::size_t kYOffset = 5;
    static constexpr std::size_t kCodeOffset = 7;
    static constexpr std::size_t kModifiersOffset = 8;
    static constexpr std::size_t kWheelOffset = 9;

    std::uint8_t streamId = 0;
    std::uint8_t type = 0;    // 1 mouse, 2 keyboard
    std::uint8_t action = 0;
    std::uint16_t x = 0;      // keyboard action 3: the UTF-16 code unit
    std::uint16_t y = 0;
    std::uint8_t code = 0;
    std::uint8_t modifiers = 0;
    std::int16_t wheelDelta = 0;

    void writeTo(std::uint8_t* out) const {
        out[0] = streamId;
        out[1] = type;
        out[2] = action;
        storeLe16(out + kXOffset, x);
        storeLe16(out + kYOffset, y);
        out[kCodeOffset] = code;
        out[kModifiersOffset] = modifiers;
        storeLe16(out + kWheelOffset, static_cast<std::uint16_t>(wheelDelta));
        out[kWireSize - 1] = 0;
    }

    static InputEvent readFrom(const std::uint8_t* in) {
        InputEvent e;
        e.streamId = in[0];
        e.type = in[1];
        e.action = in[2];
        e.x = loadLe16(in + kXOffset);
        e.y = loadLe16(in + kYOffset);
        e.code = in[kCodeOffset];
        e.modifiers = in[kModifiersOffset];
        e.wheelDelta = static_cast<std::int16_t>(loadLe16(in + kWheelOffset));
        return e;
    }
};

// The packed fields tile the record with one unread byte at the end.
static_assert(InputEvent::kXOffset == 3 && InputEvent::kYOffset == InputEvent::kXOffset + 2);
static_assert(InputEvent::kCodeOffset == InputEvent::kYOffset + 2);
static_assert(InputEvent::kModifiersOffset == InputEvent::kCodeOffset + 1);
static_assert(InputEvent::kWheelOffset == InputEvent::kModifiersOffset + 1);
static_assert(InputEvent::kWheelOffset + 2 + 1 == InputEvent::kWireSize);

}  // namespace lumivane::host
