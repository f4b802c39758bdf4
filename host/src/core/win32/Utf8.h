#pragma once
// UTF-16 from Win32 to the UTF-8 every interface of ours carries.

#include <windows.h>

#include <cwchar>
#include <string>

namespace lumivane::host {

// Empty for empty input or a text the conversion rejects.
inline std::string toUtf8(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

// A zero-terminated text, up to its terminator.
inline std::string toUtf8(const wchar_t* text) { return text ? toUtf8(text, int(std::wcslen(text))) : std::string(); }

}  // namespace lumivane::host
