#pragma once
// The dashboard's window list: refreshed from the application, clicked by the user.
// Main thread only.

#include "core/WindowInfo.h"
#include "ui/UIRecords.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace lumivane::host {

class WindowListModel {
public:
    using StartCapture = std::function<bool(std::uint32_t windowId, std::uint8_t streamId)>;
    using StopCapture = std::function<void(std::uint8_t streamId)>;

    // Takes the new list's order and texts; a window that keeps its id keeps its
    // streaming state, a window that is gone is dropped with it.
    void setWindowList(const std::vector<protocol::WindowInfo>& windows);

    // A click on row `index`: stops a streaming row, otherwise starts it under the
    // dashboard's own next stream id (used up even when the start fails).
    void click(std::size_t index, const StartCapture& start, const StopCapture& stop);

    const std::vector<WindowEntry>& entries() const { return entries_; }
    std::uint8_t nextStreamId() const { return nextStreamId_; }

private:
    void markRow(std::size_t index, std::uint32_t windowId, bool streaming, std::uint8_t streamId);

    std::vector<WindowEntry> entries_;
    std::uint8_t nextStreamId_ = 1;
};

}  // namespace lumivane::host
