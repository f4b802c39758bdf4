#include "input/win32/Win32InputSink.h"

#include <windows.h>

#include <vector>

namespace lumivane::host {

std::unique_ptr<InputSink> InputSink::create() { return std::make_unique<Win32InputSink>(); }

namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }

// The neutral records carry INPUT's own flag values, so only the layout changes.
INPUT toInput(const InputRecord& r) {
    INPUT in{};
    if (r.type == InputType::Keyboard) {
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = r.vk;
        in.ki.wScan = r.scan;
        in.ki.dwFlags = r.flags;
    } else {
        in.type = INPUT_MOUSE;
        in.mi.dx = r.dx;
        in.mi.dy = r.dy;
        in.mi.mouseData = r.mouseData;
        in.mi.dwFlags = r.flags;
    }
    return in;
}

}  // namespace

uint32_t Win32InputSink::sendInputs(const InputRecord* records, uint32_t count) {
    std::vector<INPUT> inputs;
    inputs.reserve(count);
    for (uint32_t i = 0; i < count; ++i) inputs.push_back(toInput(records[i]));
    return SendInput(count, inputs.data(), sizeof(INPUT));
}

uint16_t Win32InputSink::scanCode(uint16_t vk) { return static_cast<uint16_t>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)); }

bool Win32InputSink::windowRect(WindowHandle window, ScreenRect& rect) {
    RECT r{};
    if (!GetWindowRect(toHwnd(window), &r)) return false;
    rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

ScreenMetrics Win32InputSink::virtualScreen() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

ScreenMetrics Win32InputSink::primaryScreen() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

bool Win32InputSink::isWindow(WindowHandle window) { return IsWindow(toHwnd(window)); }

WindowStyles Win32InputSink::styles(WindowHandle window) {
    return {static_cast<uint32_t>(GetWindowLongW(toHwnd(window), GWL_STYLE)),
            static_cast<uint32_t>(GetWindowLongW(toHwnd(window), GWL_EXSTYLE))};
}

ScreenRect Win32InputSink::adjustRect(const ScreenRect& client, const WindowStyles& styles) {
    RECT r{client.left, client.top, client.right, client.bottom};
    AdjustWindowRectEx(&r, styles.style, FALSE, styles.exStyle);
    return {r.left, r.top, r.right, r.bottom};
}

void Win32InputSink::minimumTrackSize(WindowHandle window, int32_t& width, int32_t& height) {
    MINMAXINFO info{};
    SendMessageW(toHwnd(window), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    width = info.ptMinTrackSize.x;
    height = info.ptMinTrackSize.y;
}

bool Win32InputSink::setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width, int32_t height,
                                 bool keepPosition) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (keepPosition ? SWP_NOMOVE : 0);
    return SetWindowPos(toHwnd(window), nullptr, left, top, width, height, flags);
}

uint32_t Win32InputSink::lastError() { return GetLastError(); }

bool Win32InputSink::isForeground(WindowHandle window) { return GetForegroundWindow() == toHwnd(window); }

bool Win32InputSink::bringToFront(WindowHandle window) {
    HWND hwnd = toHwnd(window);
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
    return GetForegroundWindow() == hwnd;
}

}  // namespace lumivane::host
