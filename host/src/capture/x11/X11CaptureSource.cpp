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
    release();
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
    if (attributes.map_state != IsViewable) {
        error = "Window is not mapped";
        return false;
    }
    window_ = window;
    visual_ = attributes.visual;
    depth_ = attributes.depth;
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
    // A restart after a stop: the previous thread has ended or been told to.
    if (thread_.joinable()) thread_.join();
    std::uint64_t wakeups = 0;
    [[maybe_unused]] ssize_t drained = ::read(wakeFd_, &wakeups, sizeof wakeups);
    stop_ = false;
    windowGone_ = false;
    pendingWidth_ = pendingHeight_ = 0;
    Display* d = display_.get();
    int damageError = 0;
    XDamageQueryExtension(d, &damageEventBase_, &damageError);
    XSelectInput(d, window_, StructureNotifyMask);
    XCompositeRedirectWindow(d, window_, CompositeRedirectAutomatic);
    redirected_ = true;
    damage_ = XDamageCreate(d, window_, XDamageReportNonEmpty);
    nameWindowPixmap();
    if (!createPool(poolWidth, poolHeight)) {
        error = "Cannot create the shared-memory frame pool";
        return false;
    }
    XImage* image = shm_->image();
    if (image->bits_per_pixel != 32 || image->byte_order != LSBFirst || visual_->red_mask != 0xFF0000) {
        error = "Unsupported window pixel layout (need 32-bit BGRX/BGRA)";
        return false;
    }
    onFrame_ = std::move(onFrame);
    onClosed_ = std::move(onClosed);
    dirty_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void X11CaptureSource::recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) {
    pendingWidth_ = poolWidth;
    pendingHeight_ = poolHeight;
}

void X11CaptureSource::close() {
    stop_ = true;
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool X11CaptureSource::createPool(std::uint32_t width, std::uint32_t height) {
    shm_.reset();
    shm_ = XShmImage::create(display_.get(), visual_, depth_, width, height);
    texture_ = std::make_unique<MemoryTexture>(width, height);
    return shm_ != nullptr;
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
            onClosed_();
            break;
        }
        if (pendingWidth_ != 0) {
            if (!createPool(pendingWidth_, pendingHeight_)) break;
            pendingWidth_ = pendingHeight_ = 0;
            dirty_ = true;
        }
        if (dirty_ && Clock::now() >= nextFrame_) deliverFrame();
        if (stop_) break;
        XFlush(d);
        if (XPending(d) > 0) continue;
        poll(fds, 2, pollTimeoutMs());
    }
    release();
}

int X11CaptureSource::pollTimeoutMs() const {
    if (!dirty_ && pendingWidth_ == 0) return -1;
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextFrame_ - Clock::now()).count();
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
    } else if (event.type == ConfigureNotify && event.xconfigure.window == window_) {
        auto w = std::uint32_t(event.xconfigure.width), h = std::uint32_t(event.xconfigure.height);
        if (w != contentWidth_ || h != contentHeight_) {
            contentWidth_ = w;
            contentHeight_ = h;
            nameWindowPixmap();
            dirty_ = true;
        }
    } else if ((event.type == DestroyNotify && event.xdestroywindow.window == window_) ||
               (event.type == UnmapNotify && event.xunmap.window == window_)) {
        windowGone_ = true;
    }
}

void X11CaptureSource::deliverFrame() {
    dirty_ = false;
    nextFrame_ = Clock::now() + frameInterval_;
    // A frame of another size carries no pixels: the consumer recreates the pool first.
    if (contentWidth_ != texture_->width() || contentHeight_ != texture_->height()) {
        onFrame_(*texture_, contentWidth_, contentHeight_);
        return;
    }
    if (!grab()) return;
    drawCursor();
    onFrame_(*texture_, contentWidth_, contentHeight_);
}

bool X11CaptureSource::grab() {
    if (!pixmap_ || !shm_->read(pixmap_)) return false;
    XImage* image = shm_->image();
    std::uint8_t* out = texture_->mappedPixels();
    const std::uint32_t rowBytes = texture_->stride();
    const bool opaque = depth_ != 32;
    for (std::uint32_t y = 0; y < texture_->height(); ++y) {
        std::uint8_t* row = out + std::size_t(y) * rowBytes;
        std::memcpy(row, image->data + std::size_t(y) * image->bytes_per_line, rowBytes);
        if (opaque) {
            for (std::uint32_t x = 3; x < rowBytes; x += 4) row[x] = 0xFF;
        }
    }
    return true;
}

void X11CaptureSource::drawCursor() {
    Display* d = display_.get();
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(d, window_, &root, &child, &rootX, &rootY, &x, &y, &mask)) return;
    int width = int(texture_->width()), height = int(texture_->height());
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    XPtr<XFixesCursorImage> cursor(XFixesGetCursorImage(d));
    if (!cursor) return;
    std::uint8_t* pixels = texture_->mappedPixels();
    for (int cy = 0; cy < cursor->height; ++cy) {
        int ty = y - cursor->yhot + cy;
        if (ty < 0 || ty >= height) continue;
        for (int cx = 0; cx < cursor->width; ++cx) {
            int tx = x - cursor->xhot + cx;
            if (tx < 0 || tx >= width) continue;
            // Premultiplied ARGB in the low 32 bits of each long.
            unsigned long p = cursor->pixels[cy * cursor->width + cx];
            unsigned alpha = (p >> 24) & 0xFF;
            std::uint8_t* dst = pixels + std::size_t(ty) * texture_->stride() + std::size_t(tx) * 4;
            for (int c = 0; c < 3; ++c) {
                unsigned src = (p >> (8 * c)) & 0xFF;
                dst[c] = std::uint8_t(src + dst[c] * (255 - alpha) / 255);
            }
        }
    }
}

void X11CaptureSource::release() {
    Display* d = display_.get();
    shm_.reset();
    if (pixmap_) XFreePixmap(d, pixmap_);
    // A destroyed window took its damage object and redirection with it.
    if (damage_ && !windowGone_) XDamageDestroy(d, damage_);
    if (redirected_ && !windowGone_) XCompositeUnredirectWindow(d, window_, CompositeRedirectAutomatic);
    pixmap_ = 0;
    damage_ = 0;
    redirected_ = false;
    XSync(d, False);
}

}  // namespace lumivane::host
