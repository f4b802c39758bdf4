#pragma once
// Keycodes with no symbol in the layout, bound on demand to the keysyms the layout lacks
// (every character typed as text goes through them). Shares the sink's display connection
// and its caller; set back to no symbol on destruction.

#include <X11/Xlib.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace lumivane::host {

class X11SpareKeys {
public:
    // Characters bound at once; a receiver that lags further behind is waited for.
    static constexpr std::size_t kSlots = 32;
    // How long a busy receiver of keys is waited for before typing on.
    static constexpr std::chrono::seconds kReceiverDeadline{2};

    explicit X11SpareKeys(Display* display);
    ~X11SpareKeys();
    X11SpareKeys(const X11SpareKeys&) = delete;
    X11SpareKeys& operator=(const X11SpareKeys&) = delete;

    // The keycode that types the keysym now, on both levels; 0 when there is no spare
    // keycode. Call it for each press through the keycode.
    KeyCode bind(unsigned long keysym);

private:
    void find();
    void waitUntilKeysRead();
    Window keyReceiver();
    bool ping(Window client);

    Display* display_;
    Window root_;
    std::array<KeyCode, kSlots> keycodes_{};
    std::array<unsigned long, kSlots> keysyms_{};
    // Per slot, the serial of the key last typed through it; keys up to keysRead_ were read.
    std::array<std::uint64_t, kSlots> used_{};
    std::size_t count_ = 0;
    std::uint64_t keySerial_ = 0;
    std::uint64_t keysRead_ = 0;
    unsigned long pingStamp_ = 0;
};

}  // namespace lumivane::host
