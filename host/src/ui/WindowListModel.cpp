#include "ui/WindowListModel.h"

#include <unordered_map>

namespace lumivane::host {

void WindowListModel::setWindowList(const std::vector<protocol::WindowInfo>& windows) {
    std::unordered_map<std::uint32_t, const WindowEntry*> previous;
    for (const WindowEntry& entry : entries_) previous.emplace(entry.windowId, &entry);

    std::vector<WindowEntry> rebuilt;
    rebuilt.reserve(windows.size());
    for (const protocol::WindowInfo& window : windows) {
        WindowEntry entry{window.id, window.title, window.processName, false, 0};
        if (auto it = previous.find(window.id); it != previous.end()) {
            entry.streaming = it->second->streaming;
            entry.streamId = it->second->streamId;
        }
        rebuilt.push_back(std::move(entry));
    }
    entries_ = std::move(rebuilt);
}

void WindowListModel::click(std::size_t index, const StartCapture& start, const StopCapture& stop) {
    if (index >= entries_.size()) return;
    // Copies: a callback may replace the list under us.
    const WindowEntry clicked = entries_[index];
    if (clicked.streaming) {
        if (stop) stop(clicked.streamId);
        markRow(index, clicked.windowId, false, 0);
        return;
    }
    const std::uint8_t streamId = nextStreamId_++;
    if (start && start(clicked.windowId, streamId)) markRow(index, clicked.windowId, true, streamId);
}

void WindowListModel::markRow(std::size_t index, std::uint32_t windowId, bool streaming, std::uint8_t streamId) {
    if (index >= entries_.size() || entries_[index].windowId != windowId) return;
    entries_[index].streaming = streaming;
    entries_[index].streamId = streamId;
}

}  // namespace lumivane::host
