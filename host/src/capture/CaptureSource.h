#pragma once
// The platform half of one window capture: a frame pool of a given size fed by the
// window's content. Frames and the closed notice arrive on the source's own thread.

#include "capture/WindowSystem.h"
#include "gpu/Texture.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lumivane::host {

struct CaptureSystemInfo {
    std::string systemLine;     // e.g. "  X Server: The X.Org Foundation 12101007"
    std::string supportCheck;   // what was probed, e.g. "XComposite 0.4 + XDamage + MIT-SHM"
    bool supported = false;
};

class CaptureSource {
public:
    // The frame's pixels at the pool's size and its content size, which differs from the
    // pool's after a resize. The texture is valid only during the call; its alpha is
    // undefined for an opaque window.
    using FrameArrived = std::function<void(const Texture& frame, std::uint32_t contentWidth,
                                            std::uint32_t contentHeight)>;
    using Closed = std::function<void()>;
    using Resumed = std::function<void()>;

    virtual ~CaptureSource() = default;

    virtual CaptureSystemInfo systemInfo() = 0;
    // Binds the source to a window and reports its size. False with a reason on failure.
    virtual bool open(WindowHandle window, std::uint32_t& width, std::uint32_t& height,
                      std::string& error) = 0;
    // Creates the pool and starts delivering: one frame at once, then one after each change.
    virtual bool start(std::uint32_t poolWidth, std::uint32_t poolHeight, FrameArrived onFrame,
                       Closed onClosed, std::string& error) = 0;
    // Only from within onFrame: later frames come at this size; one follows promptly.
    virtual void recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) = 0;
    // Stops delivery. From another thread it waits for a running handler to return, so a
    // handler must not wait for a lock the caller of close() holds. From the source's own
    // thread it only asks the thread to end; the destructor joins it. Idempotent.
    virtual void close() = 0;

    // Any thread: deliver a frame within a frame interval even if nothing changed.
    virtual void requestFrame() {}
    // Before start: called on the source's thread when a hidden window is shown again,
    // just before its next frame. Sources that never pause need not call it.
    virtual void setResumedHandler(Resumed onResumed) { (void)onResumed; }

    // The platform's real source, pacing frames to at most maxFps.
    static std::unique_ptr<CaptureSource> create(std::uint32_t maxFps);
};

}  // namespace lumivane::host
