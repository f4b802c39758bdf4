#pragma once
// Turns script commands into the host's input records, aimed at one stream's window.

#include "InputScript.h"
#include "network/ClientInput.h"
#include "network/InputEvent.h"

#include <cstdint>
#include <vector>

namespace lumivane::client {

class InputTranslator {
public:
    // The window's outer size in pixels, as the window list reports it: the host maps
    // 0-65535 across that rectangle.
    InputTranslator(std::uint8_t streamId, std::int32_t windowWidth, std::int32_t windowHeight);

    // Records for one command, in order; none for wait. Buttons, wheel and clicks act at
    // the last position moved to (the window's centre before any move).
    std::vector<host::InputEvent> translate(const InputCommand& command);
    void resize(std::int32_t windowWidth, std::int32_t windowHeight) {
        width_ = windowWidth;
        height_ = windowHeight;
    }

    // The smallest 0-65535 value the host maps back onto pixel `pixel` of `extent`.
    static std::uint16_t normalise(const Coordinate& coordinate, std::int32_t extent);

private:
    host::InputEvent mouse(std::uint8_t action) const;
    host::InputEvent keyboard(std::uint8_t action) const;

    std::uint8_t streamId_;
    std::int32_t width_;
    std::int32_t height_;
    std::uint16_t pointerX_ = 32768;
    std::uint16_t pointerY_ = 32768;
};

// The same event in the video connection's layout. False for a character beyond 8 bits,
// which that layout cannot carry.
bool toClientInput(const host::InputEvent& event, host::ClientInput& out);

}  // namespace lumivane::client
