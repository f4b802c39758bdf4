#pragma once
// Text and handle conversions of the Win32 capture code.

#include "core/win32/Utf8.h"

#include <windows.h>

#include <cstdint>

namespace lumivane::host {

inline HWND toHwnd(std::uint32_t window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }

}  // namespace lumivane::host
