#pragma once
// CaptureSource over XComposite: the window is redirected off-screen and its named pixmap
// read with MIT-SHM; the frame handed on is that shared image itself, pointer drawn in.
// XDamage says when a frame is due, and so does the pointer moving over the window; frames
// come at most maxFps a second. A hidden window pauses the frames until it is shown again;
// only its destruction closes the source. Own display connection; after start() only the
// source's thread touches it.

#include "capture/CaptureSource.h"
#include "capture/x11/XDisplay.h"
#include "capture/x11/XShmImage.h"
#include "gpu/memory/MemoryTexture.h"

#include <X11/extensions/Xdamage.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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
    void requestFrame() override;
    void setResumedHandler(Resumed onResumed) override { onResumed_ = std::move(onResumed); }

    // How long a new size must hold before frames follow it: a window dragged to a new
    // size on every frame would otherwise rebuild the encoder on every frame.
    static constexpr std::chrono::milliseconds kResizeSettle{100};

private:
    using Clock = std::chrono::steady_clock;

    struct Cursor {
        std::vector<std::uint32_t> argb;  // premultiplied
        int width = 0, height = 0, xhot = 0, yhot = 0;
    };

    void run();
    void drainEvents();
    void handleEvent(const XEvent& event);
    void movePointer(bool inside, int x, int y);
    bool createPool(std::uint32_t width, std::uint32_t height);
    void nameWindowPixmap();
    bool frameDue() const;
    void deliverFrame();
    bool drawCursor();
    bool refreshCursor();
    int pollTimeoutMs() const;
    void release();

    XDisplayPtr display_;
    std::chrono::nanoseconds frameInterval_;
    int damageEventBase_ = 0;
    int fixesEventBase_ = 0;
    Window window_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    bool redirected_ = false;
    Damage damage_ = 0;
    Pixmap pixmap_ = 0;
    std::uint32_t contentWidth_ = 0;
    std::uint32_t contentHeight_ = 0;
    std::unique_ptr<XShmImage> shm_;
    std::unique_ptr<MemoryTexture> texture_;  // a view of shm_'s image
    FrameArrived onFrame_;
    Closed onClosed_;
    Resumed onResumed_;
    // Source-thread state.
    bool dirty_ = true;
    bool hidden_ = false;
    bool resumed_ = false;
    bool windowGone_ = false;
    std::uint32_t pendingWidth_ = 0;
    std::uint32_t pendingHeight_ = 0;
    Clock::time_point nextFrame_{};
    Clock::time_point sizeChangedAt_{};
    bool pointerInside_ = false;
    bool pointerMoved_ = false;
    bool cursorDrawn_ = false;  // in the last frame handed on
    bool cursorStale_ = true;
    int pointerX_ = 0;
    int pointerY_ = 0;
    Cursor cursor_;

    std::atomic<bool> frameRequested_{false};
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace lumivane::host
