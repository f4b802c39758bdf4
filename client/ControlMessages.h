#pragma once
// Length-prefixed messages the client writes: on the video connection (feedback,
// keyframe request, input in the aligned layout) and on the input connection.

#include "network/ClientInput.h"
#include "network/InputEvent.h"

#include <cstdint>
#include <vector>

namespace lumivane::client {

std::vector<std::uint8_t> feedbackMessage(std::uint16_t decodeMs, std::uint16_t rttMs);
std::vector<std::uint8_t> keyframeRequestMessage(std::uint8_t streamId);
std::vector<std::uint8_t> videoInputMessage(const host::ClientInput& input);
std::vector<std::uint8_t> inputEventMessage(const host::InputEvent& event);

}  // namespace lumivane::client
