#pragma once
// The Windows capture source until Windows Graphics Capture is built in: it lets a stream
// request reach the encoder choice (which finds none, as on a PC without a supported GPU)
// and refuses to open a window should it ever be asked to.

#include "capture/CaptureSource.h"

namespace lumivane::host {

class UnavailableCaptureSource final : public CaptureSource {
public:
    CaptureSystemInfo systemInfo() override;
    bool open(WindowHandle window, std::uint32_t& width, std::uint32_t& height, std::string& error) override;
    bool start(std::uint32_t poolWidth, std::uint32_t poolHeight, FrameArrived onFrame, Closed onClosed,
               std::string& error) override;
    void recreate(std::uint32_t, std::uint32_t) override {}
    void close() override {}
};

}  // namespace lumivane::host
