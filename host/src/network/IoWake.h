#pragma once
// Runs an action on an I/O thread when another thread asks, without allocating: at most
// one wake is queued at a time, and its operation lives in memory reserved here. The frame
// path uses it to tell the video I/O thread that a packet waits, once per frame.

#include <boost/asio/io_context.hpp>

#include <cstddef>
#include <functional>
#include <mutex>

namespace lumivane::host {

class IoWake {
public:
    // `action` runs on a thread running `io`. Both must outlive this object's use; destroy
    // it only after `io` (pending operations hand their memory back here).
    IoWake(boost::asio::io_context& io, std::function<void()> action);
    IoWake(const IoWake&) = delete;
    IoWake& operator=(const IoWake&) = delete;

    // Any thread. Wakes calling while a wake is queued are merged into it.
    void notify();
    // Any thread. Once it returns, nothing more is queued; an action already running ends
    // on its own.
    void disable();
    void enable();

    // Storage for the one queued operation; larger requests fall back to the heap.
    class Slot {
    public:
        void* allocate(std::size_t size);
        void deallocate(void* pointer);

    private:
        alignas(std::max_align_t) unsigned char storage_[256];
        bool inUse_ = false;  // guarded by the executor's own ordering: one op at a time
    };

private:
    void run();

    boost::asio::io_context& io_;
    const std::function<void()> action_;
    std::mutex mutex_;  // leaf: guards the two flags
    bool enabled_ = true;
    bool queued_ = false;
    Slot slot_;
};

}  // namespace lumivane::host
