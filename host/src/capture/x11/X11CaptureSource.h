#pragma once
// CaptureSource over XComposite: the window is redirected off-screen and its named pixmap
// read with MIT-SHM; the frame handed on is that shared image itself, pointer drawn in.
// Frames are grabbed on the source's thread and handed on from a second one (FrameHandoff),
// so the next frame is grabbed while this one is encoded.
// XDamage says when a frame is due, and so does the pointer moving over the window; frames
// come at most maxFps a second. A hidden window pauses the frames until it is shown again;
// only its destruction closes the source. Own display connection; after start() only the
// grabbing thread touches it.

#include "capture/CaptureSource.h"
#include "capture/x11/FrameHandoff.h"
#include "capture/x11/XDisplay.h"
#include "capture/x11/XShmImage.h"
#include "gpu/memory/MemoryTexture.h"

#include <X11/extensions/Xdamage.h>

#include <array>
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

    // One frame: the shared image, and what it holds.
    struct Buffer {
        std::unique_ptr<XShmImage> shm;
        std::unique_ptr<MemoryTexture> texture;  // a view of shm's image
        std::uint32_t contentWidth = 0;
        std::uint32_t contentHeight = 0;
        bool resumed = false;  // the first frame after the window was shown again
    };

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
    void handOn(int buffer);
    bool drawCursor(Buffer& buffer);
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
    std::array<Buffer, FrameHandoff::kBuffers> buffers_;
    std::uint32_t poolWidth_ = 0;
    std::uint32_t poolHeight_ = 0;
    FrameArrived onFrame_;
    Closed onClosed_;
    Resumed onResumed_;
    // Source-thread state.
    bool dirty_ = true;
    bool hidden_ = false;
    bool resumed_ = false;
    bool windowGone_ = false;
    int filling_ = 0;
    bool awaitingPool_ = false;  // a frame of a new size went out; recreate() follows
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
    // From recreate() on the delivery thread: width << 32 | height, 0 for none.
    std::atomic<std::uint64_t> pendingPool_{0};
    FrameHandoff handoff_;
    int wakeFd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace lumivane::host
