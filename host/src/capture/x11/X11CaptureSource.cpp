#include "capture/x11/X11CaptureSource.h"

#include "core/Logging.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace lumivane::host {

std::unique_ptr<CaptureSource> CaptureSource::create(std::uint32_t maxFps) {
    XDisplayPtr display = openXDisplay();
    if (!display) return nullptr;
    return std::make_unique<X11CaptureSource>(std::move(display), maxFps);
}

X11CaptureSource::X11CaptureSource(XDisplayPtr display, std::uint32_t maxFps)
    : display_(std::move(display)),
      frameInterval_(std::chrono::nanoseconds(1'000'000'000LL / std::max<std::uint32_t>(maxFps, 1))),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

X11CaptureSource::~X11CaptureSource() {
    close();
    if (thread_.joinable()) thread_.join();
    handoff_.stop();
    release();
    // Only now that neither thread runs: a frame being handed on reads its buffer.
    for (Buffer& buffer : buffers_) buffer = Buffer{};
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

CaptureSystemInfo X11CaptureSource::systemInfo() {
    Display* d = display_.get();
    CaptureSystemInfo info;
    int major = 0, minor = 0, event = 0, error = 0;
    bool composite = XCompositeQueryExtension(d, &event, &error) && XCompositeQueryVersion(d, &major, &minor) &&
                     (major > 0 || minor >= 2);
    int damageError = 0;
    bool damage = XDamageQueryExtension(d, &damageEventBase_, &damageError);
    bool shm = XShmQueryExtension(d);
    info.systemLine = fmt::format("  X Server: {} {}, display {}", ServerVendor(d), VendorRelease(d), DisplayString(d));
    info.supportCheck = fmt::format("XComposite {}.{} + XDamage + MIT-SHM", major, minor);
    info.supported = composite && damage && shm;
    return info;
}

bool X11CaptureSource::open(WindowHandle window, std::uint32_t& width, std::uint32_t& height, std::string& error) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_.get(), window, &attributes)) {
        error = "Failed to create capture item for window";
        return false;
    }
    window_ = window;
    visual_ = attributes.visual;
    depth_ = attributes.depth;
    // A minimised window opens paused: its first frame comes when it is shown.
    hidden_ = attributes.map_state != IsViewable;
    width = contentWidth_ = std::uint32_t(attributes.width);
    height = contentHeight_ = std::uint32_t(attributes.height);
    return true;
}

bool X11CaptureSource::start(std::uint32_t poolWidth, std::uint32_t poolHeight, FrameArrived onFrame,
                             Closed onClosed, std::string& error) {
    if (!window_ || wakeFd_ < 0) {
        error = "Capture source not opened";
        return false;
    }
    // A restart after a stop: the previous threads have ended or been told to.
    if (thread_.joinable()) thread_.join();
    handoff_.stop();
    std::uint64_t wakeups = 0;
    [[maybe_unused]] ssize_t drained = ::read(wakeFd_, &wakeups, sizeof wakeups);
    stop_ = false;
    windowGone_ = false;
    resumed_ = false;
    pendingPool_ = 0;
    awaitingPool_ = false;
    Display* d = display_.get();
    int damageError = 0, fixesError = 0;
    XDamageQueryExtension(d, &damageEventBase_, &damageError);
    XFixesQueryExtension(d, &fixesEventBase_, &fixesError);
    XSelectInput(d, window_, StructureNotifyMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask);
    XFixesSelectCursorInput(d, DefaultRootWindow(d), XFixesDisplayCursorNotifyMask);
    XCompositeRedirectWindow(d, window_, CompositeRedirectAutomatic);
    redirected_ = true;
    damage_ = XDamageCreate(d, window_, XDamageReportNonEmpty);
    if (!hidden_) nameWindowPixmap();
    if (!createPool(poolWidth, poolHeight)) {
        error = "Cannot create the shared-memory frame pool";
        return false;
    }
    XImage* image = buffers_[0].shm->image();
    if (image->bits_per_pixel != 32 || image->byte_order != LSBFirst || visual_->red_mask != 0xFF0000) {
        error = "Unsupported window pixel layout (need 32-bit BGRX/BGRA)";
        return false;
    }
    // Where the pointer is now; from here on its motion events say.
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (XQueryPointer(d, window_, &root, &child, &rootX, &rootY, &x, &y, &mask))
        movePointer(x >= 0 && y >= 0 && std::uint32_t(x) < contentWidth_ && std::uint32_t(y) < contentHeight_, x, y);
    pointerMoved_ = false;
    cursorDrawn_ = false;
    cursorStale_ = true;
    onFrame_ = std::move(onFrame);
    onClosed_ = std::move(onClosed);
    dirty_ = true;
    handoff_.start([this](int buffer) { handOn(buffer); }, [this] { onClosed_(); });
    thread_ = std::thread([this] { run(); });
    return true;
}

// On the delivery thread, from within onFrame.
void X11CaptureSource::recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) {
    pendingPool_ = std::uint64_t(poolWidth) << 32 | poolHeight;
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
}

void X11CaptureSource::requestFrame() {
    frameRequested_ = true;
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
}

void X11CaptureSource::close() {
    stop_ = true;
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    // The delivery thread first: the grabbing one may be waiting for it to go idle. On the
    // delivery thread itself (the closed path) this only tells it to end.
    handoff_.stop();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool X11CaptureSource::createPool(std::uint32_t width, std::uint32_t height) {
    poolWidth_ = poolHeight_ = 0;
    filling_ = 0;
    for (Buffer& buffer : buffers_) {
        buffer = Buffer{};
        buffer.shm = XShmImage::create(display_.get(), visual_, depth_, width, height);
        if (!buffer.shm) return false;
        XImage* image = buffer.shm->image();
        buffer.texture = std::make_unique<MemoryTexture>(reinterpret_cast<std::uint8_t*>(image->data), width, height,
                                                         std::uint32_t(image->bytes_per_line));
    }
    poolWidth_ = width;
    poolHeight_ = height;
    return true;
}

void X11CaptureSource::nameWindowPixmap() {
    if (pixmap_) XFreePixmap(display_.get(), pixmap_);
    pixmap_ = XCompositeNameWindowPixmap(display_.get(), window_);
}

void X11CaptureSource::run() {
    Display* d = display_.get();
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (!stop_) {
        drainEvents();
        if (windowGone_) {
            handoff_.postClosed();
            break;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t wakeups = 0;
            [[maybe_unused]] ssize_t drained = ::read(wakeFd_, &wakeups, sizeof wakeups);
            fds[1].revents = 0;
        }
        if (frameRequested_.exchange(false)) dirty_ = true;
        if (const std::uint64_t pool = pendingPool_.exchange(0)) {
            // Every buffer is rebuilt, so none may be in the hand-off.
            if (!handoff_.waitIdle() || !createPool(std::uint32_t(pool >> 32), std::uint32_t(pool))) break;
            awaitingPool_ = false;
            dirty_ = true;
        }
        if (frameDue() && Clock::now() >= nextFrame_) deliverFrame();
        if (stop_) break;
        XFlush(d);
        if (XPending(d) > 0) continue;
        poll(fds, 2, pollTimeoutMs());
    }
    release();
}

bool X11CaptureSource::frameDue() const {
    if (hidden_ || awaitingPool_) return false;
    const bool sizeChanged = contentWidth_ != poolWidth_ || contentHeight_ != poolHeight_;
    if (sizeChanged && Clock::now() < sizeChangedAt_ + kResizeSettle) return false;
    return dirty_ || pointerMoved_;
}

int X11CaptureSource::pollTimeoutMs() const {
    if (hidden_ || awaitingPool_ || (!dirty_ && !pointerMoved_)) return -1;
    auto due = nextFrame_;
    if (contentWidth_ != poolWidth_ || contentHeight_ != poolHeight_)
        due = std::max(due, sizeChangedAt_ + kResizeSettle);
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
    return int(std::max<long long>(wait, 0));
}

void X11CaptureSource::drainEvents() {
    Display* d = display_.get();
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        handleEvent(event);
    }
}

void X11CaptureSource::handleEvent(const XEvent& event) {
    if (event.type == damageEventBase_ + XDamageNotify) {
        XDamageSubtract(display_.get(), damage_, None, None);
        dirty_ = true;
    } else if (event.type == fixesEventBase_ + XFixesCursorNotify) {
        cursorStale_ = true;
        if (pointerInside_) pointerMoved_ = true;
    } else if (event.type == MotionNotify && event.xmotion.window == window_) {
        movePointer(true, event.xmotion.x, event.xmotion.y);
    } else if ((event.type == EnterNotify || event.type == LeaveNotify) && event.xcrossing.window == window_) {
        // Into or out of one of the window's own children: still inside.
        const bool inside = event.type == EnterNotify || event.xcrossing.detail == NotifyInferior;
        movePointer(inside, event.xcrossing.x, event.xcrossing.y);
    } else if (event.type == ConfigureNotify && event.xconfigure.window == window_) {
        auto w = std::uint32_t(event.xconfigure.width), h = std::uint32_t(event.xconfigure.height);
        if (w != contentWidth_ || h != contentHeight_) {
            contentWidth_ = w;
            contentHeight_ = h;
            sizeChangedAt_ = Clock::now();
            if (!hidden_) nameWindowPixmap();
            dirty_ = true;
        }
    } else if (event.type == UnmapNotify && event.xunmap.window == window_) {
        hidden_ = true;
    } else if (event.type == MapNotify && event.xmap.window == window_) {
        // Shown again: a new pixmap, and a frame the client can start from.
        hidden_ = false;
        resumed_ = true;
        nameWindowPixmap();
        dirty_ = true;
    } else if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
        windowGone_ = true;
    }
}

void X11CaptureSource::movePointer(bool inside, int x, int y) {
    // Motion away from the window matters only to take the cursor drawn last off it.
    if (inside || cursorDrawn_) pointerMoved_ = true;
    pointerInside_ = inside;
    pointerX_ = x;
    pointerY_ = y;
}

void X11CaptureSource::deliverFrame() {
    dirty_ = false;
    pointerMoved_ = false;
    nextFrame_ = Clock::now() + frameInterval_;
    Buffer& buffer = buffers_[std::size_t(filling_)];
    buffer.contentWidth = contentWidth_;
    buffer.contentHeight = contentHeight_;
    buffer.resumed = resumed_;
    if (contentWidth_ != poolWidth_ || contentHeight_ != poolHeight_) {
        // A frame of another size carries no pixels: the consumer recreates the pool
        // first, and nothing is grabbed until it has.
        awaitingPool_ = true;
    } else {
        if (!pixmap_ || !buffer.shm->read(pixmap_)) return;
        cursorDrawn_ = drawCursor(buffer);
    }
    resumed_ = false;
    filling_ = handoff_.post(filling_);
}

// On the delivery thread.
void X11CaptureSource::handOn(int index) {
    const Buffer& buffer = buffers_[std::size_t(index)];
    if (buffer.resumed && onResumed_) onResumed_();
    onFrame_(*buffer.texture, buffer.contentWidth, buffer.contentHeight);
}

bool X11CaptureSource::refreshCursor() {
    XPtr<XFixesCursorImage> image(XFixesGetCursorImage(display_.get()));
    if (!image) return false;
    cursor_.width = image->width;
    cursor_.height = image->height;
    cursor_.xhot = image->xhot;
    cursor_.yhot = image->yhot;
    // Premultiplied ARGB in the low 32 bits of each long.
    cursor_.argb.assign(std::size_t(image->width) * image->height, 0);
    for (std::size_t i = 0; i < cursor_.argb.size(); ++i) cursor_.argb[i] = std::uint32_t(image->pixels[i]);
    cursorStale_ = false;
    return true;
}

// Into the shared image, which the next read overwrites anyway.
bool X11CaptureSource::drawCursor(Buffer& buffer) {
    MemoryTexture& texture = *buffer.texture;
    const int width = int(texture.width()), height = int(texture.height());
    const int x = pointerX_, y = pointerY_;
    if (!pointerInside_ || x < 0 || y < 0 || x >= width || y >= height) return false;
    if (cursorStale_ && !refreshCursor()) return false;
    std::uint8_t* pixels = texture.mappedPixels();
    const std::size_t stride = texture.stride();
    for (int cy = 0; cy < cursor_.height; ++cy) {
        const int ty = y - cursor_.yhot + cy;
        if (ty < 0 || ty >= height) continue;
        for (int cx = 0; cx < cursor_.width; ++cx) {
            const int tx = x - cursor_.xhot + cx;
            if (tx < 0 || tx >= width) continue;
            const std::uint32_t p = cursor_.argb[std::size_t(cy) * cursor_.width + cx];
            const unsigned alpha = p >> 24;
            if (alpha == 0) continue;
            std::uint8_t* dst = pixels + std::size_t(ty) * stride + std::size_t(tx) * 4;
            for (int c = 0; c < 3; ++c) {
                const unsigned src = (p >> (8 * c)) & 0xFF;
                dst[c] = std::uint8_t(src + dst[c] * (255 - alpha) / 255);
            }
        }
    }
    return true;
}

void X11CaptureSource::release() {
    Display* d = display_.get();
    if (pixmap_) XFreePixmap(d, pixmap_);
    // A destroyed window took its damage object and redirection with it.
    if (damage_ && !windowGone_) XDamageDestroy(d, damage_);
    if (redirected_ && !windowGone_) XCompositeUnredirectWindow(d, window_, CompositeRedirectAutomatic);
    if (!windowGone_) XSelectInput(d, window_, NoEventMask);
    pixmap_ = 0;
    damage_ = 0;
    redirected_ = false;
    XSync(d, False);
}

}  // namespace lumivane::host
