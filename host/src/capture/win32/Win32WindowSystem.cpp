#include "capture/win32/Win32WindowSystem.h"

#include "capture/win32/Win32IconReader.h"
#include "capture/win32/Win32Text.h"

#include <dwmapi.h>
#include <windows.h>

namespace lumivane::host {

std::unique_ptr<WindowSystem> WindowSystem::create() { return std::make_unique<Win32WindowSystem>(); }

namespace {

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(
        static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window)));
    return TRUE;
}

std::uint32_t styleOf(WindowHandle window) { return static_cast<std::uint32_t>(GetWindowLongW(toHwnd(window), GWL_STYLE)); }

std::uint32_t exStyleOf(WindowHandle window) {
    return static_cast<std::uint32_t>(GetWindowLongW(toHwnd(window), GWL_EXSTYLE));
}

}  // namespace

std::vector<WindowHandle> Win32WindowSystem::topLevelWindows() {
    std::vector<WindowHandle> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool Win32WindowSystem::isWindow(WindowHandle window) { return IsWindow(toHwnd(window)); }

bool Win32WindowSystem::isVisible(WindowHandle window) { return IsWindowVisible(toHwnd(window)); }

std::string Win32WindowSystem::title(WindowHandle window) {
    const int length = GetWindowTextLengthW(toHwnd(window));
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(toHwnd(window), text.data(), length + 1);
    return toUtf8(text.data(), std::min(copied, length));
}

std::string Win32WindowSystem::className(WindowHandle window) {
    wchar_t name[256] = {};
    return toUtf8(name, GetClassNameW(toHwnd(window), name, 256));
}

bool Win32WindowSystem::isToolWindow(WindowHandle window) { return exStyleOf(window) & WS_EX_TOOLWINDOW; }

bool Win32WindowSystem::hasCaption(WindowHandle window) { return styleOf(window) & WS_CAPTION; }

bool Win32WindowSystem::isAppWindow(WindowHandle window) { return exStyleOf(window) & WS_EX_APPWINDOW; }

bool Win32WindowSystem::isCloaked(WindowHandle window) {
    DWORD cloaked = 0;
    DwmGetWindowAttribute(toHwnd(window), DWMWA_CLOAKED, &cloaked, sizeof cloaked);
    return cloaked != 0;
}

bool Win32WindowSystem::isMinimized(WindowHandle window) { return IsIconic(toHwnd(window)); }

bool Win32WindowSystem::isMaximized(WindowHandle window) { return IsZoomed(toHwnd(window)); }

std::optional<WindowRect> Win32WindowSystem::windowRect(WindowHandle window) {
    RECT r{};
    if (!GetWindowRect(toHwnd(window), &r)) return std::nullopt;
    return WindowRect{r.left, r.top, r.right, r.bottom};
}

std::optional<WindowRect> Win32WindowSystem::clientRect(WindowHandle window) {
    RECT r{};
    if (!GetClientRect(toHwnd(window), &r)) return std::nullopt;
    return WindowRect{0, 0, r.right - r.left, r.bottom - r.top};
}

std::string Win32WindowSystem::processImagePath(WindowHandle window) { return processImagePathOf(toHwnd(window)); }

std::optional<IconImage> Win32WindowSystem::icon(WindowHandle window) { return readWindowIcon(toHwnd(window)); }

std::optional<std::uint32_t> Win32WindowSystem::style(WindowHandle window) { return styleOf(window); }

std::optional<std::uint32_t> Win32WindowSystem::exStyle(WindowHandle window) { return exStyleOf(window); }

}  // namespace lumivane::host
