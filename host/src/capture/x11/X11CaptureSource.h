#pragma once
// CaptureSource over XComposite: the window is redirected off-screen, its named pixmap read
// with MIT-SHM into a system-memory BGRA texture. XDamage says when a frame is due; frames
// come at most maxFps a second. Own display connection; after start() only the source's
// thread touches it.

#include "capture/CaptureSource.h"
#include "capture/x11/XDisplay.h"
#include "capture/x11/XShmImage.h"
#include "gpu/memory/MemoryTexture.h"

#include <X11/extensions/Xdamage.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace lumivane::host {

class X11CaptureSource final : public CaptureSource {
public:
    X11CaptureSource(XDisplayPtr display, std::uint32_t maxFps);
    ~X11CaptureSource() override;

    CaptureSystemInfo systemInfo() override;
    bool open(WindowHandle window, std::uint32_t& width, std::uint32_t& height, std::string& error) override;
    bool start(std::uint32_t poolWidth, std::uint32_t poolHeight, FrameArrived onFrame, Closed onClosed,
               std::string& error) override;
    void recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) override;
    void close() override;

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void drainEvents();
    void handleEvent(const XEvent& event);
    bool createPool(std::uint32_t width, std::uint32_t height);
    void nameWindowPixmap();
    void deliverFrame();
    bool grab();
    void drawCursor();
    int pollTimeoutMs() const;
    void release();

    XDisplayPtr display_;
    std::chrono::nanoseconds frameInterval_;
    int damageEventBase_ = 0;
    Window window_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    bool redirected_ = false;
    Damage damage_ = 0;
    Pixmap pixmap_ = 0;
    std::uint32_t contentWidth_ = 0;
    std::uint32_t contentHeight_ = 0;
    std::unique_ptr<XShmImage> shm_;
    std::unique_ptr<MemoryTexture> texture_;
    FrameArrived onFrame_;
    Closed onClosed_;
    // Source-thread state.
    bool dirty_ = true;
    bool windowGone_ = false;
    std::uint32_t pendingWidth_ = 0;
    std::uint32_t pendingHeight_ = 0;
    Clock::time_point nextFrame_{};

    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace lumivane::host
