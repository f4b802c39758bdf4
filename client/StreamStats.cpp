#include "StreamStats.h"

#include <algorithm>

namespace lumivane::client {

void LatencyStats::add(double ms) {
    ++samples;
    sumMs += ms;
    maxMs = std::max(maxMs, ms);
}

void LatencyStats::merge(const LatencyStats& other) {
    samples += other.samples;
    sumMs += other.sumMs;
    maxMs = std::max(maxMs, other.maxMs);
}

std::optional<double> LatencyStats::averageMs() const {
    if (samples == 0) return std::nullopt;
    return sumMs / samples;
}

std::optional<double> IntervalReport::decodeMsAverage() const {
    if (video.decoded == 0) return std::nullopt;
    return video.decodeMsSum / video.decoded;
}

std::uint32_t SequenceTracker::next(std::uint16_t sequence) {
    const std::uint32_t step = last_ ? static_cast<std::uint16_t>(sequence - *last_) : 1;
    last_ = sequence;
    // A repeat or a step back is no loss; it would otherwise read as most of a wrap.
    return step == 0 || step >= 0x8000 ? 0 : step - 1;
}

void StreamStats::onVideoSequence(std::uint16_t sequence) {
    current_.video.sequenceGaps += videoSequence_.next(sequence);
}

void StreamStats::onVideoPacket(std::size_t frameBytes, bool keyframe, std::optional<double> latencyMs) {
    ++current_.video.packets;
    current_.video.bytes += frameBytes;
    current_.video.keyframes += keyframe ? 1 : 0;
    if (latencyMs) current_.video.latency.add(*latencyMs);
}

void StreamStats::onVideoDecoded(double decodeMs) {
    ++current_.video.decoded;
    current_.video.decodeMsSum += decodeMs;
}

void StreamStats::onAudioPacket(std::uint16_t sequence, std::size_t bytes, std::optional<double> latencyMs) {
    current_.audio.sequenceGaps += audioSequence_.next(sequence);
    ++current_.audio.packets;
    current_.audio.bytes += bytes;
    if (latencyMs) current_.audio.latency.add(*latencyMs);
}

void StreamStats::onAudioDecoded(std::uint32_t samplesPerChannel) { current_.audio.samples += samplesPerChannel; }

void StreamStats::addTo(IntervalReport& sum, const IntervalReport& part) {
    sum.seconds += part.seconds;
    auto& v = sum.video;
    const auto& pv = part.video;
    v.packets += pv.packets;
    v.keyframes += pv.keyframes;
    v.decoded += pv.decoded;
    v.bytes += pv.bytes;
    v.sequenceGaps += pv.sequenceGaps;
    v.decodeMsSum += pv.decodeMsSum;
    v.latency.merge(pv.latency);
    auto& a = sum.audio;
    const auto& pa = part.audio;
    a.packets += pa.packets;
    a.bytes += pa.bytes;
    a.samples += pa.samples;
    a.sequenceGaps += pa.sequenceGaps;
    a.latency.merge(pa.latency);
}

IntervalReport StreamStats::takeInterval(double seconds) {
    IntervalReport done = current_;
    done.seconds = seconds;
    addTo(totals_, done);
    current_ = {};
    return done;
}

IntervalReport StreamStats::totals() const {
    IntervalReport sum = totals_;
    addTo(sum, current_);
    return sum;
}

}  // namespace lumivane::client
