#include "fakes/FakeWindowSystem.h"

#include <algorithm>

namespace lumivane::host {

void FakeWindowSystem::add(WindowHandle window, FakeWindow facts) {
    std::lock_guard lock(mutex_);
    windows_.emplace_back(window, std::move(facts));
}

void FakeWindowSystem::remove(WindowHandle window) {
    std::lock_guard lock(mutex_);
    std::erase_if(windows_, [&](const auto& entry) { return entry.first == window; });
}

std::vector<WindowHandle> FakeWindowSystem::topLevelWindows() {
    std::lock_guard lock(mutex_);
    std::vector<WindowHandle> list;
    for (const auto& entry : windows_) list.push_back(entry.first);
    return list;
}

bool FakeWindowSystem::isWindow(WindowHandle window) {
    std::lock_guard lock(mutex_);
    return find(window) != nullptr;
}

const FakeWindow* FakeWindowSystem::find(WindowHandle window) const {
    for (const auto& entry : windows_) {
        if (entry.first == window) return &entry.second;
    }
    return nullptr;
}

// A missing window answers like a destroyed one: nothing visible, nothing readable.
FakeWindow FakeWindowSystem::get(WindowHandle window) const {
    std::lock_guard lock(mutex_);
    if (const FakeWindow* found = find(window)) return *found;
    FakeWindow gone;
    gone.visible = false;
    gone.title.clear();
    gone.className.clear();
    gone.rect.reset();
    gone.imagePath.clear();
    return gone;
}

std::optional<WindowRect> FakeWindowSystem::clientRect(WindowHandle window) {
    auto rect = get(window).rect;
    if (!rect) return std::nullopt;
    return WindowRect{0, 0, rect->right - rect->left, rect->bottom - rect->top};
}

std::optional<IconImage> FakeWindowSystem::icon(WindowHandle window) {
    ++iconRequests_;
    return get(window).icon;
}

}  // namespace lumivane::host
