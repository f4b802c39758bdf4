#include "capture/x11/FrameHandoff.h"

namespace lumivane::host {

FrameHandoff::~FrameHandoff() {
    stop();
    if (thread_.joinable()) thread_.join();
}

void FrameHandoff::start(Deliver deliver, Closed closed) {
    if (thread_.joinable()) thread_.join();
    deliver_ = std::move(deliver);
    closed_ = std::move(closed);
    pending_ = delivering_ = -1;
    closing_ = stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

int FrameHandoff::post(int buffer) {
    std::lock_guard lock(mutex_);
    const int dropped = pending_;
    pending_ = buffer;
    changed_.notify_all();
    if (dropped >= 0) return dropped;
    for (int next = 0; next < kBuffers; ++next) {
        if (next != pending_ && next != delivering_) return next;
    }
    return buffer;  // unreachable with three buffers
}

void FrameHandoff::postClosed() {
    std::lock_guard lock(mutex_);
    closing_ = true;
    changed_.notify_all();
}

bool FrameHandoff::waitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || (pending_ < 0 && delivering_ < 0); });
    return !stopping_;
}

void FrameHandoff::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void FrameHandoff::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || pending_ >= 0 || closing_; });
        if (stopping_) return;
        if (pending_ < 0) {  // closing, every frame handed on
            lock.unlock();
            closed_();
            return;
        }
        const int buffer = delivering_ = pending_;
        pending_ = -1;
        lock.unlock();
        deliver_(buffer);
        lock.lock();
        delivering_ = -1;
        changed_.notify_all();
    }
}

}  // namespace lumivane::host
