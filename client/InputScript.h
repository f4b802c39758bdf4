#pragma once
// The little input language of --input / --input-script:
//   move X Y        X, Y in window pixels, or "50%" of the window
//   click [BUTTON]  press and release at the pointer; left (default), right, middle, x1, x2 or 0-4
//   down [BUTTON] / up [BUTTON]
//   wheel DELTA     signed, 120 is one notch up
//   key KEY         a virtual-key code (65, 0x41) or name (a, enter, f5), with modifiers: ctrl+shift+a
//   type "TEXT"     types each character; \" and \\ inside the quotes
//   wait MS
// Statements end at a new line or ';'; '#' starts a comment.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane::client {

struct Coordinate {
    double value = 0;
    bool percent = false;
};

struct InputCommand {
    enum class Kind { Move, Click, Down, Up, Wheel, Key, Type, Wait };

    Kind kind = Kind::Wait;
    int line = 0;
    Coordinate x, y;              // Move
    std::uint8_t button = 0;      // Click, Down, Up
    std::int16_t wheelDelta = 0;  // Wheel
    std::uint8_t keyCode = 0;     // Key
    std::uint8_t modifiers = 0;   // Key: bit 0 Shift, 1 Ctrl, 2 Alt, 3 Windows
    std::u16string text;          // Type, as UTF-16 code units
    std::uint32_t waitMs = 0;     // Wait
    std::string source;           // the statement as written, for reports
};

class InputScript {
public:
    // Empty optional and `error` ("line 3: ...") when a statement is not understood.
    static std::optional<InputScript> parse(std::string_view text, std::string& error);

    const std::vector<InputCommand>& commands() const { return commands_; }

private:
    std::vector<InputCommand> commands_;
};

// UTF-16 code units of UTF-8 text; false on a malformed sequence.
bool utf8ToUtf16(std::string_view utf8, std::u16string& out);

}  // namespace lumivane::client
