#pragma once
// A shared-memory XImage for fast reads of a drawable; detached and freed on destruction.

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>

namespace lumivane::host {

class XShmImage {
public:
    // Null (after a log line) when the segment or image cannot be made.
    static std::unique_ptr<XShmImage> create(Display* display, Visual* visual, int depth, std::uint32_t width,
                                             std::uint32_t height);
    ~XShmImage();
    XShmImage(const XShmImage&) = delete;
    XShmImage& operator=(const XShmImage&) = delete;

    // Reads the drawable's top-left corner at this image's size. False on an X error.
    bool read(Drawable drawable);
    XImage* image() const { return image_; }

private:
    XShmImage(Display* display) : display_(display) {}

    Display* display_;
    XImage* image_ = nullptr;
    XShmSegmentInfo segment_{};
    bool attached_ = false;
};

}  // namespace lumivane::host
