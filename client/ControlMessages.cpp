#include "ControlMessages.h"

#include "network/ClientFeedback.h"
#include "core/LittleEndian.h"

namespace lumivane::client {

namespace {

constexpr std::uint8_t kInputType = 3;
constexpr std::uint8_t kFeedbackType = 4;
constexpr std::uint8_t kKeyframeType = 16;

// A 4-byte length, then `bodySize` zero bytes for the caller to fill.
std::vector<std::uint8_t> framed(std::size_t bodySize) {
    std::vector<std::uint8_t> out(4 + bodySize, 0);
    host::storeLe32(out.data(), static_cast<std::uint32_t>(bodySize));
    return out;
}

}  // namespace

std::vector<std::uint8_t> feedbackMessage(std::uint16_t decodeMs, std::uint16_t rttMs) {
    auto out = framed(1 + host::ClientFeedback::kSize);
    out[4] = kFeedbackType;
    host::ClientFeedback feedback;
    feedback.decodeMs = decodeMs;
    feedback.rttMs = rttMs;
    feedback.writeTo(out.data() + 5);
    return out;
}

std::vector<std::uint8_t> keyframeRequestMessage(std::uint8_t streamId) {
    auto out = framed(2);
    out[4] = kKeyframeType;
    out[5] = streamId;
    return out;
}

std::vector<std::uint8_t> videoInputMessage(const host::ClientInput& input) {
    auto out = framed(1 + host::ClientInput::kSize);
    out[4] = kInputType;
    input.writeTo(out.data() + 5);
    return out;
}

std::vector<std::uint8_t> inputEventMessage(const host::InputEvent& event) {
    auto out = framed(host::InputEvent::kWireSize);
    event.writeTo(out.data() + 4);
    return out;
}

}  // namespace lumivane::client
