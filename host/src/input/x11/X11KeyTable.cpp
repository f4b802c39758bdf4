#include "input/x11/X11KeyTable.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace lumivane::host {
namespace {

struct KeyPair {
    uint16_t vk;
    unsigned long keysym;
};

constexpr KeyPair kTable[] = {
    // editing and control
    {8, XK_BackSpace}, {9, XK_Tab}, {12, XK_Clear}, {13, XK_Return}, {19, XK_Pause},
    {20, XK_Caps_Lock}, {27, XK_Escape}, {32, XK_space}, {44, XK_Print}, {45, XK_Insert},
    {46, XK_Delete}, {93, XK_Menu}, {145, XK_Scroll_Lock},
    // navigation
    {33, XK_Prior}, {34, XK_Next}, {35, XK_End}, {36, XK_Home},
    {37, XK_Left}, {38, XK_Up}, {39, XK_Right}, {40, XK_Down},
    // modifiers
    {16, XK_Shift_L}, {17, XK_Control_L}, {18, XK_Alt_L}, {91, XK_Super_L}, {92, XK_Super_R},
    {160, XK_Shift_L}, {161, XK_Shift_R}, {162, XK_Control_L}, {163, XK_Control_R},
    {164, XK_Alt_L}, {165, XK_Alt_R},
    // numeric keypad
    {106, XK_KP_Multiply}, {107, XK_KP_Add}, {108, XK_KP_Separator}, {109, XK_KP_Subtract},
    {110, XK_KP_Decimal}, {111, XK_KP_Divide}, {144, XK_Num_Lock},
    // US punctuation (the OEM keys)
    {186, XK_semicolon}, {187, XK_equal}, {188, XK_comma}, {189, XK_minus}, {190, XK_period},
    {191, XK_slash}, {192, XK_grave}, {219, XK_bracketleft}, {220, XK_backslash},
    {221, XK_bracketright}, {222, XK_apostrophe},
};

}  // namespace

unsigned long keysymForVirtualKey(uint16_t vk) {
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    // Lower case: Shift comes from the modifier state, as on a real keyboard.
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= 96 && vk <= 105) return XK_KP_0 + (vk - 96);
    if (vk >= 112 && vk <= 135) return XK_F1 + (vk - 112);
    for (const KeyPair& k : kTable) {
        if (k.vk == vk) return k.keysym;
    }
    return NoSymbol;
}

unsigned long keysymForCodePoint(uint32_t codePoint) {
    // Latin-1 keysyms equal their code points; everything else uses the Unicode range.
    if ((codePoint >= 0x20 && codePoint <= 0x7E) || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return codePoint;
    return 0x01000000UL | codePoint;
}

}  // namespace lumivane::host
