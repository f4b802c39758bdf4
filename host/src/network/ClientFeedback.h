#pragma once
// Decode and round-trip times the client reports on the video connection.

#include "core/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host {

struct ClientFeedback {
    static constexpr std::size_t kSize = 12;

    std::uint8_t reserved[8] = {};
    std::uint16_t decodeMs = 0;
    std::uint16_t rttMs = 0;

    void writeTo(std::uint8_t* out) const {
        for (std::size_t i = 0; i < sizeof reserved; ++i) out[i] = reserved[i];
        storeLe16(out + 8, decodeMs);
        storeLe16(out + 10, rttMs);
    }

    static ClientFeedback readFrom(const std::uint8_t* in) {
        ClientFeedback f;
        for (std::size_t i = 0; i < sizeof f.reserved; ++i) f.reserved[i] = in[i];
        f.decodeMs = loadLe16(in + 8);
        f.rttMs = loadLe16(in + 10);
        return f;
    }
};

static_assert(sizeof(ClientFeedback) == ClientFeedback::kSize);
static_assert(offsetof(ClientFeedback, decodeMs) == 8);
static_assert(offsetof(ClientFeedback, rttMs) == 10);

}  // namespace lumivane::host
