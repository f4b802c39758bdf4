#include "FlvStream.h"

#include <cstring>

namespace lumivane::bench {
namespace {

constexpr std::size_t kFileHeader = 9 + 4;  // header, then the first PreviousTagSize
constexpr std::size_t kTagHeader = 11;
constexpr std::uint8_t kVideoTag = 9;
constexpr std::uint8_t kAvcCodec = 7;

std::uint32_t bigEndian(const std::uint8_t* p, std::size_t bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

bool FlvStream::push(const std::uint8_t* data, std::size_t size) {
    if (!error_.empty()) return false;
    buffer_.insert(buffer_.end(), data, data + size);
    const bool ok = parseTags();
    buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(consumed_));
    consumed_ = 0;
    return ok;
}

bool FlvStream::parseTags() {
    if (!headerSeen_) {
        if (buffer_.size() < kFileHeader) return true;
        if (std::memcmp(buffer_.data(), "FLV", 3) != 0) return fail("not an FLV stream");
        consumed_ = bigEndian(&buffer_[5], 4) + 4;
        headerSeen_ = true;
    }
    for (;;) {
        const std::size_t left = buffer_.size() - consumed_;
        if (left < kTagHeader) return true;
        const std::uint8_t* tag = &buffer_[consumed_];
        const std::size_t dataSize = bigEndian(tag + 1, 3);
        if (left < kTagHeader + dataSize + 4) return true;
        if ((tag[0] & 0x1F) == kVideoTag && !onVideoTag(tag + kTagHeader, dataSize)) return false;
        consumed_ += kTagHeader + dataSize + 4;
    }
}

bool FlvStream::onVideoTag(const std::uint8_t* tag, std::size_t size) {
    if (size < 5) return fail("video tag too short");
    if ((tag[0] & 0x0F) != kAvcCodec) return fail("video is not H.264");
    switch (tag[1]) {
    case 0: return onDecoderConfig(tag + 5, size - 5);
    case 1: return onNalUnits(tag + 5, size - 5);
    default: return true;  // end of sequence
    }
}

bool FlvStream::onDecoderConfig(const std::uint8_t* record, std::size_t size) {
    if (size < 7) return fail("decoder configuration too short");
    lengthSize_ = (record[4] & 3u) + 1;
    std::vector<std::uint8_t> sets[2];
    std::size_t at = 5;
    for (int kind = 0; kind < 2; ++kind) {
        if (at >= size) return fail("decoder configuration cut short");
        const unsigned count = kind == 0 ? record[at] & 0x1Fu : record[at];
        ++at;
        for (unsigned i = 0; i < count; ++i) {
            if (at + 2 > size) return fail("decoder configuration cut short");
            const std::size_t length = bigEndian(record + at, 2);
            if (at + 2 + length > size) return fail("parameter set overruns its record");
            if (i == 0) sets[kind].assign(record + at + 2, record + at + 2 + length);
            at += 2 + length;
        }
    }
    if (handlers_.config) handlers_.config(sets[0], sets[1]);
    return true;
}

bool FlvStream::onNalUnits(const std::uint8_t* units, std::size_t size) {
    annexB_.clear();
    for (std::size_t at = 0; at < size;) {
        if (at + lengthSize_ > size) return fail("NAL unit length cut short");
        const std::size_t length = bigEndian(units + at, lengthSize_);
        at += lengthSize_;
        if (at + length > size) return fail("NAL unit overruns its tag");
        annexB_.insert(annexB_.end(), {0, 0, 0, 1});
        annexB_.insert(annexB_.end(), units + at, units + at + length);
        at += length;
    }
    if (!annexB_.empty() && handlers_.accessUnit) handlers_.accessUnit(annexB_.data(), annexB_.size());
    return true;
}

bool FlvStream::fail(const std::string& why) {
    error_ = why;
    return false;
}

}  // namespace lumivane::bench
