#pragma once
// Opens once a message has been handed to every socket it was meant for, or given up on.
// Whoever depends on it registers a wake function instead of waiting: the frame path must
// never block on a peer.

#include <functional>
#include <mutex>

namespace lumivane::host {

class DeliveryGate {
public:
    // The first call wins. Runs the wake function (if any) on this thread, without the lock.
    void open(bool delivered);
    bool isOpen() const;
    // False when the message did not reach every socket; meaningful once open.
    bool delivered() const;
    // Replaces the wake function; runs it at once, on this thread, when already open.
    void onOpen(std::function<void()> wake);

private:
    mutable std::mutex mutex_;  // leaf
    bool open_ = false;
    bool delivered_ = false;
    std::function<void()> wake_;
};

}  // namespace lumivane::host
