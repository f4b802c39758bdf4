#pragma once
// Cuts interleaved PCM arriving in callbacks of any length into fixed-size packets.
// Not synchronised: it belongs to the audio thread.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lumivane::host {

class AudioPacketizer {
public:
    // samplesPerPacket counts interleaved values (frame size x channels).
    explicit AudioPacketizer(std::size_t samplesPerPacket)
        : samplesPerPacket_(samplesPerPacket), buffer_(samplesPerPacket * 4) {}

    // Appends the samples and calls emit(const int16_t* packet) for every full packet,
    // oldest first. The rest waits for the next call.
    template <typename Emit>
    void push(const std::int16_t* samples, std::size_t count, Emit&& emit) {
        append(samples, count);
        std::size_t offset = 0;
        while (samplesPerPacket_ > 0 && size_ - offset >= samplesPerPacket_) {
            emit(buffer_.data() + offset);
            offset += samplesPerPacket_;
        }
        compact(offset);
    }

    std::size_t pending() const { return size_; }

private:
    void append(const std::int16_t* samples, std::size_t count) {
        // Grows only for callbacks longer than the four packets reserved up front.
        if (size_ + count > buffer_.size()) buffer_.resize(size_ + count);
        if (count > 0) std::memcpy(buffer_.data() + size_, samples, count * sizeof(std::int16_t));
        size_ += count;
    }
    void compact(std::size_t consumed) {
        if (consumed == 0) return;
        size_ -= consumed;
        if (size_ > 0) std::memmove(buffer_.data(), buffer_.data() + consumed, size_ * sizeof(std::int16_t));
    }

    const std::size_t samplesPerPacket_;
    std::vector<std::int16_t> buffer_;
    std::size_t size_ = 0;
};

}  // namespace lumivane::host
