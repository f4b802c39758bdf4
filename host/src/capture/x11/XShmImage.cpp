#include "capture/x11/XShmImage.h"

#include "core/Logging.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace lumivane::host {

std::unique_ptr<XShmImage> XShmImage::create(Display* display, Visual* visual, int depth, std::uint32_t width,
                                             std::uint32_t height) {
    std::unique_ptr<XShmImage> result(new XShmImage(display));
    result->segment_.shmid = -1;
    result->image_ = XShmCreateImage(display, visual, unsigned(depth), ZPixmap, nullptr, &result->segment_,
                                     width, height);
    if (!result->image_) {
        LV_ERROR("XShmCreateImage failed for {}x{}", width, height);
        return nullptr;
    }
    std::size_t bytes = std::size_t(result->image_->bytes_per_line) * height;
    result->segment_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (result->segment_.shmid < 0) {
        LV_ERROR("shmget of {} bytes failed", bytes);
        return nullptr;
    }
    void* address = shmat(result->segment_.shmid, nullptr, 0);
    // Marked for removal now, so the segment goes with the last detach even after a crash.
    shmctl(result->segment_.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) {
        LV_ERROR("shmat failed");
        return nullptr;
    }
    result->segment_.shmaddr = result->image_->data = static_cast<char*>(address);
    result->segment_.readOnly = False;
    if (!XShmAttach(display, &result->segment_)) {
        LV_ERROR("XShmAttach failed");
        return nullptr;
    }
    result->attached_ = true;
    XSync(display, False);
    return result;
}

XShmImage::~XShmImage() {
    if (attached_) {
        XShmDetach(display_, &segment_);
        XSync(display_, False);
    }
    if (image_) {
        image_->data = nullptr;
        XDestroyImage(image_);
    }
    if (segment_.shmaddr) shmdt(segment_.shmaddr);
}

bool XShmImage::read(Drawable drawable) { return XShmGetImage(display_, drawable, image_, 0, 0, AllPlanes); }

}  // namespace lumivane::host
