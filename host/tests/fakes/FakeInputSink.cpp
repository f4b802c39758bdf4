#include "fakes/FakeInputSink.h"

#include <algorithm>

namespace lumivane::host {

uint32_t FakeInputSink::sendInputs(const InputRecord* in, uint32_t count) {
    ++sendCalls;
    const uint32_t accepted = std::min(count, acceptLimit);
    records.insert(records.end(), in, in + accepted);
    return accepted;
}

bool FakeInputSink::windowRect(WindowHandle, ScreenRect& out) {
    if (rectOk) out = rect;
    return rectOk;
}

ScreenRect FakeInputSink::adjustRect(const ScreenRect& client, const WindowStyles&) {
    return ScreenRect{client.left, client.top, client.right + frameWidth, client.bottom + frameHeight};
}

void FakeInputSink::minimumTrackSize(WindowHandle, int32_t& width, int32_t& height) {
    width = minWidth;
    height = minHeight;
}

bool FakeInputSink::setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width,
                                int32_t height, bool keepPosition) {
    placements.push_back(Placement{window, left, top, width, height, keepPosition});
    return placeOk;
}

}  // namespace lumivane::host
