#pragma once
// Input record carried on the video connection, laid out with natural alignment.

#include "core/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host {

struct ClientInput {
    static constexpr std::size_t kSize = 12;

    std::uint8_t streamId = 0;
    std::uint8_t type = 0;    // 1 mouse, 2 keyboard
    std::uint8_t action = 0;
    std::uint8_t reserved = 0;
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint8_t code = 0;
    std::uint8_t modifiers = 0;
    std::int16_t wheelDelta = 0;

    void writeTo(std::uint8_t* out) const {
        out[0] = streamId;
        out[1] = type;
        out[2] = action;
        out[3] = reserved;
        storeLe16(out + 4, x);
        storeLe16(out + 6, y);
        out[8] = code;
        out[9] = modifiers;
        storeLe16(out + 10, static_cast<std::uint16_t>(wheelDelta));
    }

    static ClientInput readFrom(const std::uint8_t* in) {
        ClientInput c;
        c.streamId = in[0];
        c.type = in[1];
        c.action = in[2];
        c.reserved = in[3];
        c.x = loadLe16(in + 4);
        c.y = loadLe16(in + 6);
        c.code = in[8];
        c.modifiers = in[9];
        c.wheelDelta = static_cast<std::int16_t>(loadLe16(in + 10));
        return c;
    }
};

static_assert(sizeof(ClientInput) == ClientInput::kSize);
static_assert(offsetof(ClientInput, x) == 4);
static_assert(offsetof(ClientInput, y) == 6);
static_assert(offsetof(ClientInput, code) == 8);
static_assert(offsetof(ClientInput, modifiers) == 9);
static_assert(offsetof(ClientInput, wheelDelta) == 10);

}  // namespace lumivane::host
