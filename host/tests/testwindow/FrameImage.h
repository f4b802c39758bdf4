#pragma once
// The picture the test window paints, in shared memory when the server offers MIT-SHM.
// Xlib cuts a plain XPutImage of a large window into bands of at most 256 KiB, so a
// capture could see half a frame; a shared-memory put hands the server the whole frame
// in one request, as an application swapping its buffers does.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

namespace lumivane::testwindow {

class FrameImage {
public:
    explicit FrameImage(Display* display) : display_(display), shm_(XShmQueryExtension(display)) {}
    ~FrameImage() { release(); }
    FrameImage(const FrameImage&) = delete;
    FrameImage& operator=(const FrameImage&) = delete;

    // An image of the size, made again when the size changes; null when none can be made.
    XImage* get(unsigned width, unsigned height) {
        if (image_ && unsigned(image_->width) == width && unsigned(image_->height) == height) return image_;
        release();
        if (!(shm_ && createShared(width, height))) createPlain(width, height);
        return image_;
    }

    // The whole image to the window's origin; the server has it when this returns.
    void put(Window window, GC gc) {
        if (!image_) return;
        const auto width = unsigned(image_->width), height = unsigned(image_->height);
        if (attached_) {
            XShmPutImage(display_, window, gc, image_, 0, 0, 0, 0, width, height, False);
        } else {
            XPutImage(display_, window, gc, image_, 0, 0, 0, 0, width, height);
        }
        // Also keeps the next paint from writing the shared memory the server still reads.
        XSync(display_, False);
    }

private:
    Visual* visual() const { return DefaultVisual(display_, DefaultScreen(display_)); }
    unsigned depth() const { return unsigned(DefaultDepth(display_, DefaultScreen(display_))); }

    bool createShared(unsigned width, unsigned height) {
        image_ = XShmCreateImage(display_, visual(), depth(), ZPixmap, nullptr, &segment_, width, height);
        if (!image_) return false;
        segment_.shmid = shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * height, IPC_CREAT | 0600);
        void* memory = segment_.shmid >= 0 ? shmat(segment_.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (memory != reinterpret_cast<void*>(-1)) {
            segment_.shmaddr = image_->data = static_cast<char*>(memory);
            segment_.readOnly = False;
            attached_ = XShmAttach(display_, &segment_);
            XSync(display_, False);
        }
        // Marked for removal now: it goes once both sides have detached, even after a crash.
        if (segment_.shmid >= 0) shmctl(segment_.shmid, IPC_RMID, nullptr);
        if (!attached_) release();
        return attached_;
    }

    void createPlain(unsigned width, unsigned height) {
        image_ = XCreateImage(display_, visual(), depth(), ZPixmap, 0, nullptr, width, height, 32, 0);
        if (image_) image_->data = static_cast<char*>(std::malloc(std::size_t(image_->bytes_per_line) * height));
    }

    void release() {
        if (!image_) return;
        if (segment_.shmaddr) {
            if (attached_) XShmDetach(display_, &segment_);
            XSync(display_, False);
            shmdt(segment_.shmaddr);
            image_->data = nullptr;  // not Xlib's to free
        }
        XDestroyImage(image_);
        image_ = nullptr;
        segment_ = {};
        attached_ = false;
    }

    Display* display_;
    const bool shm_;
    XImage* image_ = nullptr;
    XShmSegmentInfo segment_{};
    bool attached_ = false;
};

}  // namespace lumivane::testwindow
