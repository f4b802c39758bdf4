#pragma once
// WindowSystem over Xlib and EWMH. How each query maps (see docs/x11-capture.md):
//
//   top-level list  _NET_CLIENT_LIST of the root; without a window manager, XQueryTree(root)
//   visible         map state IsViewable (mapped, and every ancestor mapped), or WM_STATE
//                   Normal or Iconic: a managed window that its window manager hid (minimised,
//                   another desktop) is still the user's window, as a minimised one is on Windows
//   title           _NET_WM_NAME (UTF8_STRING), else WM_NAME
//   class           the class part (second string) of WM_CLASS
//   tool window     override-redirect, or a _NET_WM_WINDOW_TYPE other than NORMAL/DIALOG
//   caption         a managed (not override-redirect) NORMAL or DIALOG window; no type = NORMAL
//   app window      _NET_WM_WINDOW_TYPE NORMAL (or none)
//   cloaked         never: X has no such state (_NET_WM_STATE_HIDDEN means minimised)
//   minimized       WM_STATE IconicState or _NET_WM_STATE_HIDDEN;
//   maximized       _NET_WM_STATE_MAXIMIZED_VERT and _HORZ
//   rect            root coordinates, border and _NET_FRAME_EXTENTS included
//   process path    _NET_WM_PID -> readlink /proc/PID/exe
//   icon            _NET_WM_ICON, the largest image up to 256 px, drawn over black

#include "capture/WindowSystem.h"
#include "capture/x11/XDisplay.h"

#include <X11/Xlib.h>

#include <vector>

namespace lumivane::host {

class X11WindowSystem final : public WindowSystem {
public:
    explicit X11WindowSystem(XDisplayPtr display);

    std::vector<WindowHandle> topLevelWindows() override;
    bool isWindow(WindowHandle window) override;
    bool isVisible(WindowHandle window) override;
    std::string title(WindowHandle window) override;
    std::string className(WindowHandle window) override;
    bool isToolWindow(WindowHandle window) override;
    bool hasCaption(WindowHandle window) override;
    bool isAppWindow(WindowHandle window) override;
    bool isCloaked(WindowHandle window) override;
    bool isMinimized(WindowHandle window) override;
    bool isMaximized(WindowHandle window) override;
    std::optional<WindowRect> windowRect(WindowHandle window) override;
    std::optional<WindowRect> clientRect(WindowHandle window) override;
    std::string processImagePath(WindowHandle window) override;
    std::optional<IconImage> icon(WindowHandle window) override;

private:
    Atom atom(const char* name);
    // Format-32 items of a property (Xlib hands them out as longs); empty when absent.
    std::vector<unsigned long> cardinals(WindowHandle window, Atom property, Atom type, long maxItems);
    bool hasState(WindowHandle window, Atom state);
    bool overrideRedirect(WindowHandle window);
    // First _NET_WM_WINDOW_TYPE, or None.
    Atom windowType(WindowHandle window);
    bool typeIsNormalOrDialog(WindowHandle window);

    XDisplayPtr display_;
    Window root_;
};

}  // namespace lumivane::host
