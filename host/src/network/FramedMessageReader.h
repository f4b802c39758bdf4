#pragma once
// Splits a client's byte stream of length-prefixed messages (uint32 little-endian length,
// then that many bytes) into messages, keeping only the first bytes of each body: every
// message a client sends here is a dozen bytes, so a declared length costs no memory.
// Socket-free: the transports feed it what they read.

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumivane::host {

class FramedMessageReader {
public:
    // More than any message of the input or video channels needs.
    static constexpr std::size_t kKeptBytes = 16;

    struct Message {
        std::uint32_t length = 0;      // as declared; the body's bytes beyond kept are skipped
        const std::uint8_t* head = nullptr;
        std::size_t kept = 0;          // min(length, kKeptBytes)
    };

    explicit FramedMessageReader(std::uint32_t maxLength) : maxLength_(maxLength) {}

    // Calls onMessage(const Message&) for each message completed by these bytes, in order
    // (empty messages included). Returns false once a length above the limit was read;
    // the bytes after it are never looked at.
    template <typename OnMessage>
    bool feed(const std::uint8_t* data, std::size_t size, OnMessage&& onMessage) {
        for (std::size_t i = 0; i < size && !rejected_;) {
            if (lengthRead_ < 4) {
                length_ |= std::uint32_t{data[i++]} << (8 * lengthRead_);
                if (++lengthRead_ < 4) continue;
                if (length_ > maxLength_) {
                    rejected_ = true;
                    break;
                }
            } else {
                const std::size_t take = std::min<std::size_t>(size - i, length_ - bodyRead_);
                for (std::size_t k = 0; k < take && bodyRead_ + k < kKeptBytes; ++k) head_[bodyRead_ + k] = data[i + k];
                bodyRead_ += static_cast<std::uint32_t>(take);
                i += take;
            }
            if (bodyRead_ == length_) {
                onMessage(Message{length_, head_.data(), std::min<std::size_t>(length_, kKeptBytes)});
                length_ = 0;
                lengthRead_ = 0;
                bodyRead_ = 0;
            }
        }
        return !rejected_;
    }

    bool rejected() const { return rejected_; }
    // The declared length that was over the limit.
    std::uint32_t rejectedLength() const { return length_; }

private:
    const std::uint32_t maxLength_;
    std::array<std::uint8_t, kKeptBytes> head_{};
    std::uint32_t length_ = 0;
    std::uint32_t lengthRead_ = 0;
    std::uint32_t bodyRead_ = 0;
    bool rejected_ = false;
};

}  // namespace lumivane::host
