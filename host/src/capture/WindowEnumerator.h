#pragma once
// The list of windows a client may stream: filtered, sorted by title, icons as base64 PNG.
// Holds no state of its own; safe to call from several threads at once.

#include "core/WindowInfo.h"
#include "capture/WindowSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace lumivane::host {

class WindowEnumerator {
public:
    explicit WindowEnumerator(std::unique_ptr<WindowSystem> windows);

    std::vector<protocol::WindowInfo> enumerateWindows();
    bool isCapturableWindow(WindowHandle window);
    protocol::WindowInfo getWindowInfo(WindowHandle window);
    std::string getWindowTitle(WindowHandle window);
    std::string getWindowClassName(WindowHandle window);
    std::string getProcessName(WindowHandle window);
    std::string getWindowIconBase64(WindowHandle window);

    // UTF-16 to UTF-8; empty for empty input or unpaired surrogates.
    static std::string toUtf8(const std::u16string& text);
    // The part after the last '\' or '/', else the whole path.
    static std::string fileNameOf(const std::string& path);

    static const std::vector<std::string>& excludedClassNames();
    static const std::vector<std::string>& excludedTitles();

private:
    std::unique_ptr<WindowSystem> windows_;
};

}  // namespace lumivane::host
