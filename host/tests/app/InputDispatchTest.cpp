#include "app/InputDispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumivane::host {
namespace {

// Writes down each injector call as text.
struct Recorder {
    std::vector<std::string> calls;
    void moveMouse(std::uint16_t x, std::uint16_t y) { add("move", x, y); }
    void mouseButton(std::uint8_t button, bool down) { add(down ? "down" : "up", button); }
    void mouseWheel(std::int16_t delta) { add("wheel", delta); }
    void keyEvent(std::uint8_t vk, bool down, std::uint8_t modifiers) { add(down ? "key_down" : "key_up", vk, modifiers); }
    void typeChar(std::uint16_t unit) { add("type", unit); }

    template <typename... Args>
    void add(const char* name, Args... args) {
        std::string text = name;
        ((text += " " + std::to_string(args)), ...);
        calls.push_back(text);
    }
};

std::vector<std::string> dispatch(std::uint8_t type, std::uint8_t action) {
    InputEvent event;
    event.type = type;
    event.action = action;
    event.x = 100;
    event.y = 200;
    event.code = 7;
    event.modifiers = 3;
    event.wheelDelta = -120;
    Recorder recorder;
    dispatchInputEvent(recorder, event);
    return recorder.calls;
}

using Calls = std::vector<std::string>;

TEST(InputDispatch, MouseActionsMoveFirstThenAct) {
    EXPECT_EQ(dispatch(1, 1), (Calls{"move 100 200"}));
    EXPECT_EQ(dispatch(1, 2), (Calls{"move 100 200", "down 7"}));
    EXPECT_EQ(dispatch(1, 3), (Calls{"move 100 200", "up 7"}));
    EXPECT_EQ(dispatch(1, 4), (Calls{"move 100 200", "wheel -120"}));
}

TEST(InputDispatch, KeyboardActionsCarryModifiersAndCharactersComeFromX) {
    EXPECT_EQ(dispatch(2, 1), (Calls{"key_down 7 3"}));
    EXPECT_EQ(dispatch(2, 2), (Calls{"key_up 7 3"}));
    EXPECT_EQ(dispatch(2, 3), (Calls{"type 100"}));
}

TEST(InputDispatch, UnknownTypesAndActionsDoNothing) {
    for (auto [type, action] : {std::pair{0, 1}, {3, 1}, {255, 2}, {1, 0}, {1, 5}, {2, 0}, {2, 4}}) {
        EXPECT_TRUE(dispatch(std::uint8_t(type), std::uint8_t(action)).empty()) << type << "/" << action;
    }
}

}  // namespace
}  // namespace lumivane::host
