#include "fakes/FakeAudioSource.h"

namespace lumivane::host {

void FakeAudioSource::push(std::vector<uint8_t> bytes, uint32_t frames, bool silent) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Queued{std::move(bytes), frames, silent});
    }
    changed_.notify_all();
}

bool FakeAudioSource::waitDrained() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [this] {
        return queue_.empty() && current_.bytes.empty();
    });
}

bool FakeAudioSource::open(bool loopback) {
    ++opens;
    lastLoopback = loopback;
    return openOk;
}

bool FakeAudioSource::start() {
    ++starts;
    return startOk;
}

void FakeAudioSource::stop() { ++stops; }

bool FakeAudioSource::waitForData(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool ready = changed_.wait_for(lock, timeout, [this] { return woken_ || !queue_.empty(); });
    woken_ = false;
    return ready;
}

void FakeAudioSource::wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

bool FakeAudioSource::nextPacket(AudioPacket& packet) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return false;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    packet = AudioPacket{current_.bytes.data(), current_.frames, current_.silent};
    return true;
}

void FakeAudioSource::releasePacket() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++released;
        current_.bytes.clear();
    }
    changed_.notify_all();
}

}  // namespace lumivane::host
