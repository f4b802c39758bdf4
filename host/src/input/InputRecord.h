#pragma once
// Platform-neutral input records. Field meanings and flag values follow the Windows INPUT
// structure so the mapping arithmetic is identical everywhere; each sink translates them.

#include <cstdint>

namespace lumivane::host {

namespace KeyFlags {
inline constexpr uint32_t ExtendedKey = 0x0001;
inline constexpr uint32_t KeyUp = 0x0002;
inline constexpr uint32_t Unicode = 0x0004;
}  // namespace KeyFlags

namespace MouseFlags {
inline constexpr uint32_t Move = 0x0001;
inline constexpr uint32_t LeftDown = 0x0002;
inline constexpr uint32_t LeftUp = 0x0004;
inline constexpr uint32_t RightDown = 0x0008;
inline constexpr uint32_t RightUp = 0x0010;
inline constexpr uint32_t MiddleDown = 0x0020;
inline constexpr uint32_t MiddleUp = 0x0040;
inline constexpr uint32_t XDown = 0x0080;
inline constexpr uint32_t XUp = 0x0100;
inline constexpr uint32_t Wheel = 0x0800;
inline constexpr uint32_t VirtualDesk = 0x4000;
inline constexpr uint32_t Absolute = 0x8000;
}  // namespace MouseFlags

enum class InputType : uint8_t { Mouse = 0, Keyboard = 1 };

struct InputRecord {
    InputType type = InputType::Mouse;
    // keyboard
    uint16_t vk = 0;
    uint16_t scan = 0;  // scan code, or the UTF-16 code unit with KeyFlags::Unicode
    // mouse
    int32_t dx = 0;
    int32_t dy = 0;
    uint32_t mouseData = 0;  // wheel delta (sign-extended) or X button number
    uint32_t flags = 0;
};

struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct ScreenMetrics {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

struct WindowStyles {
    uint32_t style = 0;
    uint32_t exStyle = 0;
};

// The window id of the window list (the same alias as capture/WindowSystem.h); 0 means none.
using WindowHandle = uint32_t;

}  // namespace lumivane::host
