#include "network/IoWake.h"

#include <boost/asio/post.hpp>

#include <new>

namespace lumivane::host {
namespace {

template <typename T>
struct SlotAllocator {
    using value_type = T;
    IoWake::Slot* slot;

    explicit SlotAllocator(IoWake::Slot* s) : slot(s) {}
    template <typename U>
    SlotAllocator(const SlotAllocator<U>& other) : slot(other.slot) {}

    T* allocate(std::size_t n) { return static_cast<T*>(slot->allocate(sizeof(T) * n)); }
    void deallocate(T* pointer, std::size_t) { slot->deallocate(pointer); }
    template <typename U>
    bool operator==(const SlotAllocator<U>& other) const { return slot == other.slot; }
    template <typename U>
    bool operator!=(const SlotAllocator<U>& other) const { return slot != other.slot; }
};

}  // namespace

void* IoWake::Slot::allocate(std::size_t size) {
    if (!inUse_ && size <= sizeof storage_) {
        inUse_ = true;
        return storage_;
    }
    return ::operator new(size);
}

void IoWake::Slot::deallocate(void* pointer) {
    if (pointer == storage_) {
        inUse_ = false;
    } else {
        ::operator delete(pointer);
    }
}

IoWake::IoWake(boost::asio::io_context& io, std::function<void()> action) : io_(io), action_(std::move(action)) {}

void IoWake::notify() {
    struct Handler {
        using allocator_type = SlotAllocator<void>;
        IoWake* self;
        allocator_type get_allocator() const noexcept { return allocator_type(&self->slot_); }
        void operator()() const { self->run(); }
    };
    std::lock_guard<std::mutex> lock(mutex_);
    if (!enabled_ || queued_) return;
    queued_ = true;
    // Posted under the lock, so the slot is never claimed twice: the next notify waits
    // for run(), which asio calls only after releasing the operation's memory.
    boost::asio::post(io_, Handler{this});
}

void IoWake::disable() {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = false;
}

void IoWake::enable() {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = true;
}

void IoWake::run() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_ = false;
        if (!enabled_) return;
    }
    action_();
}

}  // namespace lumivane::host
