#include "network/VideoSendQueue.h"

#include <algorithm>

namespace lumivane::host {

FrameDrop decideFrameDrop(std::int64_t elapsedMs, std::int32_t pendingFrames, bool isKeyframe) {
    if (elapsedMs > VideoSendQueue::kStallTime.count() && pendingFrames >= VideoSendQueue::kQueueLimit)
        return FrameDrop::Stalled;
    if (!isKeyframe && pendingFrames >= VideoSendQueue::kQueueLimit) return FrameDrop::QueueFull;
    return FrameDrop::Send;
}

VideoSendQueue::VideoSendQueue() {
    queue_.reserve(kQueueLimit + 4);
    spare_.reserve(kSpareLimit);
}

VideoSendQueue::Verdict VideoSendQueue::offer(std::uint8_t streamId, bool keyframe, Clock::time_point now) {
    Verdict verdict;
    Stream& stream = streams_[streamId];
    stream.live = true;
    verdict.pendingFrames = pendingFrames();
    verdict.waitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - stallClock_).count();
    verdict.reason = decideFrameDrop(verdict.waitedMs, verdict.pendingFrames, keyframe);
    if (verdict.reason == FrameDrop::Stalled) {
        // Nothing the stalled socket has not started on is worth keeping but keyframes.
        StreamSet lost;
        dropQueued([](const Packet& p, std::uint8_t) { return !p.keyframe; }, 0, &lost);
        for (std::size_t id = 0; id < lost.size(); ++id)
            if (lost[id]) loseFrame(static_cast<std::uint8_t>(id), now, verdict.keyframeRequests);
        stallClock_ = now;
        // A P-frame goes too, and its stream asks for a keyframe; a keyframe is kept.
        if (!keyframe) loseFrame(streamId, now, verdict.keyframeRequests);
    }
    if (keyframe) {
        dropQueued([](const Packet& p, std::uint8_t id) { return p.streamId == id; }, streamId, nullptr);
        stream.awaitingKeyframe = false;
        stream.keyframeAsked.reset();
        return verdict;
    }
    if (verdict.reason == FrameDrop::QueueFull) loseFrame(streamId, now, verdict.keyframeRequests);
    if (stream.awaitingKeyframe) {
        verdict.accepted = false;
        // Ask again if the keyframe asked for never came (the request may have been lost).
        if (!stream.keyframeAsked || now - *stream.keyframeAsked >= kKeyframeRetry) {
            verdict.keyframeRequests.set(streamId);
            stream.keyframeAsked = now;
        }
    }
    return verdict;
}

// The stream cannot decode its next P-frames: drop them until a keyframe, and ask for one.
void VideoSendQueue::loseFrame(std::uint8_t streamId, Clock::time_point now, StreamSet& requests) {
    Stream& stream = streams_[streamId];
    stream.awaitingKeyframe = true;
    if (!stream.keyframeAsked || now - *stream.keyframeAsked >= kKeyframeRetry) {
        requests.set(streamId);
        stream.keyframeAsked = now;
    }
    dropQueued([](const Packet& p, std::uint8_t id) { return p.streamId == id && !p.keyframe; }, streamId, nullptr);
}

void VideoSendQueue::dropQueued(bool (*which)(const Packet&, std::uint8_t), std::uint8_t streamId, StreamSet* lost) {
    auto keep = queue_.begin();
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (which(**it, streamId)) {
            if (lost) lost->set((*it)->streamId);
            queuedBytes_ -= static_cast<std::int64_t>((*it)->size);
            recycle(std::move(*it));
        } else {
            *keep++ = std::move(*it);
        }
    }
    queue_.erase(keep, queue_.end());
}

VideoSendQueue::PacketPtr VideoSendQueue::acquire(std::size_t size) {
    // The largest spare; any buffer that grows grows to the largest packet seen, so that
    // once each has grown the sizes frames come in no longer matter.
    largestPacket_ = std::max(largestPacket_, size);
    auto best = std::max_element(spare_.begin(), spare_.end(),
                                 [](const PacketPtr& a, const PacketPtr& b) { return a->capacity < b->capacity; });
    PacketPtr packet;
    if (best != spare_.end()) {
        packet = std::move(*best);
        spare_.erase(best);
    } else {
        packet = std::make_unique<Packet>();
    }
    if (packet->capacity < size) {
        packet->data = std::make_unique_for_overwrite<std::uint8_t[]>(largestPacket_);
        packet->capacity = largestPacket_;
    }
    packet->size = size;
    return packet;
}

void VideoSendQueue::push(PacketPtr packet, std::shared_ptr<DeliveryGate> configGate, Clock::time_point now) {
    Stream& stream = streams_[packet->streamId];
    if (configGate) {
        stream.configGate = std::move(configGate);
        stream.configDeadline = now + kConfigWait;
    }
    if (pendingFrames() == 0) stallClock_ = now;  // a new backlog starts its clock now
    queuedBytes_ += static_cast<std::int64_t>(packet->size);
    queue_.push_back(std::move(packet));
}

VideoSendQueue::PacketPtr VideoSendQueue::next(Clock::time_point now, StreamSet& overdue,
                                               std::optional<Clock::time_point>& wakeAt) {
    // A held keyframe holds the later frames of its stream; other streams go past it.
    StreamSet blocked;
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        const std::uint8_t id = (*it)->streamId;
        if (blocked[id]) continue;
        if ((*it)->keyframe && heldForConfig(id, now, overdue, wakeAt)) {
            blocked.set(id);
            continue;
        }
        PacketPtr packet = std::move(*it);
        queue_.erase(it);
        queuedBytes_ -= static_cast<std::int64_t>(packet->size);
        ++inFlight_;
        inFlightBytes_ += static_cast<std::int64_t>(packet->size);
        return packet;
    }
    return nullptr;
}

bool VideoSendQueue::heldForConfig(std::uint8_t streamId, Clock::time_point now, StreamSet& overdue,
                                   std::optional<Clock::time_point>& wakeAt) {
    Stream& stream = streams_[streamId];
    if (!stream.configGate) return false;
    if (!stream.configGate->isOpen()) {
        if (now < stream.configDeadline) {
            if (!wakeAt || stream.configDeadline < *wakeAt) wakeAt = stream.configDeadline;
            return true;
        }
        overdue.set(streamId);
    }
    stream.configGate.reset();
    return false;
}

void VideoSendQueue::written(PacketPtr packet, Clock::time_point now) {
    Stream& stream = streams_[packet->streamId];
    if (stream.live) {
        if (!stream.latency) stream.latency = std::make_unique<FrameLatency>();
        stream.latency->record(now - packet->arrival);
    }
    stallClock_ = now;
    abandon(std::move(packet));
}

void VideoSendQueue::abandon(PacketPtr packet) {
    --inFlight_;
    inFlightBytes_ -= static_cast<std::int64_t>(packet->size);
    recycle(std::move(packet));
}

void VideoSendQueue::recycle(PacketPtr packet) {
    if (spare_.size() < kSpareLimit) spare_.push_back(std::move(packet));
}

VideoSendQueue::StreamSet VideoSendQueue::restart(Clock::time_point now) {
    clear();
    stallClock_ = now;
    StreamSet requests;
    for (std::size_t id = 0; id < streams_.size(); ++id) {
        Stream& stream = streams_[id];
        stream.awaitingKeyframe = true;
        stream.keyframeAsked.reset();
        if (stream.live) {
            requests.set(id);
            stream.keyframeAsked = now;
        }
    }
    return requests;
}

void VideoSendQueue::clear() {
    for (auto& packet : queue_) recycle(std::move(packet));
    queue_.clear();
    queuedBytes_ = 0;
}

std::unique_ptr<FrameLatency> VideoSendQueue::endStream(std::uint8_t streamId) {
    dropQueued([](const Packet& p, std::uint8_t id) { return p.streamId == id; }, streamId, nullptr);
    Stream& stream = streams_[streamId];
    stream.live = false;
    stream.configGate.reset();
    stream.awaitingKeyframe = true;
    stream.keyframeAsked.reset();
    return std::move(stream.latency);
}

VideoSendQueue::StreamSet VideoSendQueue::liveStreams() const {
    StreamSet live;
    for (std::size_t id = 0; id < streams_.size(); ++id) live[id] = streams_[id].live;
    return live;
}

}  // namespace lumivane::host
