#include "network/DeliveryGate.h"

namespace lumivane::host {

void DeliveryGate::open(bool delivered) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_) return;
        open_ = true;
        delivered_ = delivered;
        wake.swap(wake_);
    }
    if (wake) wake();
}

bool DeliveryGate::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

bool DeliveryGate::delivered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return delivered_;
}

void DeliveryGate::onOpen(std::function<void()> wake) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) {
            wake_ = std::move(wake);
            return;
        }
    }
    if (wake) wake();
}

}  // namespace lumivane::host
