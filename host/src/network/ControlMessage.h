#pragma once
// The messages a client sends on the video connection, decoded from a body's first bytes.

#include "network/ClientFeedback.h"
#include "network/ClientInput.h"

#include <cstddef>
#include <cstdint>

namespace lumivane::host {

struct ControlMessage {
    enum class Kind { Ignored, Input, Feedback, KeyframeRequest };
    static constexpr std::uint8_t kInputType = 3;
    static constexpr std::uint8_t kFeedbackType = 4;
    static constexpr std::uint8_t kKeyframeRequestType = 16;

    Kind kind = Kind::Ignored;
    ClientInput input;
    ClientFeedback feedback;
    std::uint8_t streamId = 0;  // of a keyframe request
};

// `body` holds the first `size` bytes of the message. Empty bodies, unknown types and
// bodies shorter than their type needs are Ignored; bytes past what a type needs are too.
ControlMessage parseControlMessage(const std::uint8_t* body, std::size_t size);

}  // namespace lumivane::host
