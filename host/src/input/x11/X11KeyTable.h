#pragma once
// Windows virtual-key code to X keysym for a US layout. docs/x11-input.md lists the table.

#include <cstdint>

namespace lumivane::host {

// The keysym for a virtual-key code, or 0 (NoSymbol) for codes without one.
unsigned long keysymForVirtualKey(uint16_t vk);

// The keysym that types one Unicode code point.
unsigned long keysymForCodePoint(uint32_t codePoint);

}  // namespace lumivane::host
