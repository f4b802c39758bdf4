#include "capture/WindowEnumerator.h"

#include "core/Base64.h"
#include "core/PngEncoder.h"
#include "core/Logging.h"

#include <algorithm>

namespace lumivane::host {

namespace {

bool contains(const std::vector<std::string>& table, const std::string& value) {
    return std::find(table.begin(), table.end(), value) != table.end();
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

WindowEnumerator::WindowEnumerator(std::unique_ptr<WindowSystem> windows) : windows_(std::move(windows)) {}

const std::vector<std::string>& WindowEnumerator::excludedClassNames() {
    static const std::vector<std::string> names = {
        "Progman", "Shell_TrayWnd", "Shell_SecondaryTrayWnd", "NotifyIconOverflowWindow",
        "Windows.UI.Core.CoreWindow", "ApplicationFrameWindow", "Xaml_WindowedPopupClass"};
    return names;
}

const std::vector<std::string>& WindowEnumerator::excludedTitles() {
    static const std::vector<std::string> titles = {"Program Manager", "Microsoft Text Input Application"};
    return titles;
}

std::vector<protocol::WindowInfo> WindowEnumerator::enumerateWindows() {
    std::vector<protocol::WindowInfo> list;
    if (!windows_) return list;
    for (WindowHandle window : windows_->topLevelWindows()) {
        if (isCapturableWindow(window)) list.push_back(getWindowInfo(window));
    }
    // std::string compares as unsigned bytes, which is the order clients rely on.
    std::sort(list.begin(), list.end(),
              [](const protocol::WindowInfo& a, const protocol::WindowInfo& b) { return a.title < b.title; });
    return list;
}

bool WindowEnumerator::isCapturableWindow(WindowHandle window) {
    if (!windows_->isVisible(window)) return false;
    std::string title = windows_->title(window);
    if (title.empty()) return false;
    if (windows_->isToolWindow(window)) return false;
    if (!windows_->hasCaption(window) && !windows_->isAppWindow(window)) return false;
    if (windows_->isCloaked(window)) return false;
    if (contains(excludedClassNames(), windows_->className(window))) return false;
    if (contains(excludedTitles(), title)) return false;
    auto rect = windows_->windowRect(window);
    return rect && rect->right - rect->left >= 1 && rect->bottom - rect->top >= 1;
}

protocol::WindowInfo WindowEnumerator::getWindowInfo(WindowHandle window) {
    protocol::WindowInfo info;
    info.id = window;
    info.title = getWindowTitle(window);
    info.className = getWindowClassName(window);
    info.processName = getProcessName(window);
    if (auto rect = windows_->windowRect(window)) {
        info.x = rect->left;
        info.y = rect->top;
        info.width = rect->right - rect->left;
        info.height = rect->bottom - rect->top;
    }
    info.isMinimized = windows_->isMinimized(window);
    info.isMaximized = windows_->isMaximized(window);
    info.isVisible = windows_->isVisible(window);
    info.iconBase64 = getWindowIconBase64(window);
    return info;
}

std::string WindowEnumerator::getWindowTitle(WindowHandle window) { return windows_->title(window); }

std::string WindowEnumerator::getWindowClassName(WindowHandle window) { return windows_->className(window); }

std::string WindowEnumerator::getProcessName(WindowHandle window) {
    return fileNameOf(windows_->processImagePath(window));
}

std::string WindowEnumerator::getWindowIconBase64(WindowHandle window) {
    auto icon = windows_->icon(window);
    if (!icon) return {};
    std::vector<std::uint8_t> png = encodePng(icon->width, icon->height, icon->bgra);
    if (png.empty()) {
        LV_WARN("getWindowIconBase64: PNG data is empty after encoding for hwnd {:x}", window);
        return {};
    }
    return base64Encode(png);
}

std::string WindowEnumerator::fileNameOf(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WindowEnumerator::toUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return {};
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return {};
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace lumivane::host
