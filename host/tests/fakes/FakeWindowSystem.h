#pragma once
// A scripted window system: tests add windows with the facts they want.

#include "capture/WindowSystem.h"

#include <atomic>
#include <map>
#include <mutex>

namespace lumivane::host {

struct FakeWindow {
    bool visible = true;
    std::string title = "Window";
    std::string className = "FakeClass";
    bool toolWindow = false;
    bool caption = true;
    bool appWindow = false;
    bool cloaked = false;
    bool minimized = false;
    bool maximized = false;
    std::optional<WindowRect> rect = WindowRect{0, 0, 640, 480};
    std::string imagePath = "/usr/bin/fake-app";
    std::optional<IconImage> icon;
};

class FakeWindowSystem final : public WindowSystem {
public:
    // Windows are listed in the order added.
    void add(WindowHandle window, FakeWindow facts);
    void remove(WindowHandle window);
    int iconRequests() const { return iconRequests_; }

    std::vector<WindowHandle> topLevelWindows() override;
    bool isWindow(WindowHandle window) override;
    bool isVisible(WindowHandle window) override { return get(window).visible; }
    std::string title(WindowHandle window) override { return get(window).title; }
    std::string className(WindowHandle window) override { return get(window).className; }
    bool isToolWindow(WindowHandle window) override { return get(window).toolWindow; }
    bool hasCaption(WindowHandle window) override { return get(window).caption; }
    bool isAppWindow(WindowHandle window) override { return get(window).appWindow; }
    bool isCloaked(WindowHandle window) override { return get(window).cloaked; }
    bool isMinimized(WindowHandle window) override { return get(window).minimized; }
    bool isMaximized(WindowHandle window) override { return get(window).maximized; }
    std::optional<WindowRect> windowRect(WindowHandle window) override { return get(window).rect; }
    std::optional<WindowRect> clientRect(WindowHandle window) override;
    std::string processImagePath(WindowHandle window) override { return get(window).imagePath; }
    std::optional<IconImage> icon(WindowHandle window) override;

private:
    const FakeWindow* find(WindowHandle window) const;
    FakeWindow get(WindowHandle window) const;

    mutable std::mutex mutex_;
    std::vector<std::pair<WindowHandle, FakeWindow>> windows_;
    std::atomic<int> iconRequests_{0};
};

}  // namespace lumivane::host
