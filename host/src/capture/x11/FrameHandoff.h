#pragma once
// Hands frames from a capture thread to a delivery thread through one slot, latest wins,
// so that grabbing the next frame overlaps handing on (encoding) this one. The frames
// live in three buffers the producer owns, named by index: one being filled, one in the
// slot, one being delivered. The delivery thread is started and joined here.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lumivane::host {

class FrameHandoff {
public:
    static constexpr int kBuffers = 3;
    using Deliver = std::function<void(int buffer)>;
    using Closed = std::function<void()>;

    ~FrameHandoff();

    // Starts the delivery thread; the producer fills buffer 0 first.
    void start(Deliver deliver, Closed closed);
    // Producer: buffer is filled. Replaces an undelivered frame in the slot; returns the
    // buffer to fill next.
    int post(int buffer);
    // Producer: no more frames; the delivery thread calls closed after the last one.
    void postClosed();
    // Producer: waits until no frame is in the slot or being delivered. False once stopping.
    bool waitIdle();
    // Ends delivery without closed; joins the thread unless called on it (then the
    // destructor, or the next start, joins it). Idempotent.
    void stop();

private:
    void run();

    Deliver deliver_;
    Closed closed_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int pending_ = -1;
    int delivering_ = -1;
    bool closing_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace lumivane::host
