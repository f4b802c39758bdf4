#pragma once
// The packets waiting for the video connection and the rules for what waits, what is
// dropped and what is held, kept apart from the socket so that they can be exercised
// directly. Not synchronised: the transport calls it under its own lock.
//
// Rules: a P-frame is dropped while kQueueLimit frames wait, and a stream that lost a
// frame drops its P-frames until its next keyframe (they could not be decoded), asking for
// that keyframe. Keyframes are never dropped for lack of room; a queued keyframe makes the
// older queued frames of its stream pointless, so they go. When frames have waited past
// kStallTime without the socket taking a packet, the queued P-frames go at once. A
// keyframe that needs its stream_config to arrive first is held until the config's gate
// opens or kConfigWait passes.

#include "core/FrameLatency.h"
#include "network/DeliveryGate.h"

#include <array>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace lumivane::host {

// Pure drop rule, kept apart so it can be checked without a stalled socket.
enum class FrameDrop { Send, Stalled, QueueFull };
FrameDrop decideFrameDrop(std::int64_t elapsedMs, std::int32_t pendingFrames, bool isKeyframe);

class VideoSendQueue {
public:
    using Clock = std::chrono::steady_clock;
    using StreamSet = std::bitset<256>;

    // Frames waiting (the one being written included) before P-frames are dropped.
    static constexpr std::int32_t kQueueLimit = 4;
    // Waiting this long without the socket taking a packet counts as a stall.
    static constexpr std::chrono::milliseconds kStallTime{100};
    // How long a stream's first keyframe waits for its stream_config to be written.
    static constexpr std::chrono::milliseconds kConfigWait{100};
    // A keyframe asked for and not seen within this is asked for again.
    static constexpr std::chrono::milliseconds kKeyframeRetry{1000};
    // Packet buffers kept for reuse; enough for a full queue and the one being written.
    static constexpr std::size_t kSpareLimit = 8;

    // One video packet: the wire header and the frame, copied once into a reused buffer.
    struct Packet {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t capacity = 0;
        std::size_t size = 0;
        std::uint8_t streamId = 0;
        bool keyframe = false;
        Clock::time_point arrival;
    };
    using PacketPtr = std::unique_ptr<Packet>;

    // What offer() decided. Keyframe requests and log lines are the caller's to make,
    // outside its lock.
    struct Verdict {
        bool accepted = true;
        FrameDrop reason = FrameDrop::Send;  // why a frame was dropped, if the rule dropped it
        std::int64_t waitedMs = 0;           // for the stall warning
        std::int32_t pendingFrames = 0;      // before this frame
        StreamSet keyframeRequests;
    };

    VideoSendQueue();

    // Decides the fate of a frame about to be queued; may drop queued frames.
    Verdict offer(std::uint8_t streamId, bool keyframe, Clock::time_point now);
    // A buffer of `size` bytes for an accepted frame; allocates only while warming up.
    PacketPtr acquire(std::size_t size);
    // Queues a filled packet. `configGate`, when given, holds the stream's keyframes until it
    // opens or kConfigWait has passed.
    void push(PacketPtr packet, std::shared_ptr<DeliveryGate> configGate, Clock::time_point now);

    // The next packet that may be written now, or null. Streams whose keyframe waited the
    // whole kConfigWait for its config are added to `overdue`; `wakeAt` gets the earliest
    // moment a held keyframe may go anyway.
    PacketPtr next(Clock::time_point now, StreamSet& overdue, std::optional<Clock::time_point>& wakeAt);
    // The packet from next() reached the socket whole: its latency is recorded.
    void written(PacketPtr packet, Clock::time_point now);
    // The packet from next() will never be written (its connection went).
    void abandon(PacketPtr packet);

    // A new connection: nothing queued was meant for it, and each stream starts there
    // with a keyframe. Returns the streams to ask for one.
    StreamSet restart(Clock::time_point now);
    // The connection went; frames wait for the next one to ask for keyframes.
    void clear();
    // The stream ended: its queued frames go; returns its latency, null without frames.
    std::unique_ptr<FrameLatency> endStream(std::uint8_t streamId);
    // A frame came while no client was connected: the next client asks this stream for a keyframe.
    void markLive(std::uint8_t streamId) { streams_[streamId].live = true; }
    // Streams that have sent frames and not ended.
    StreamSet liveStreams() const;

    std::int32_t pendingFrames() const { return static_cast<std::int32_t>(queue_.size()) + inFlight_; }
    std::int64_t pendingBytes() const { return queuedBytes_ + inFlightBytes_; }

private:
    struct Stream {
        bool awaitingKeyframe = true;
        std::optional<Clock::time_point> keyframeAsked;
        std::shared_ptr<DeliveryGate> configGate;
        Clock::time_point configDeadline;
        bool live = false;
        std::unique_ptr<FrameLatency> latency;
    };

    void dropQueued(bool (*which)(const Packet&, std::uint8_t), std::uint8_t streamId, StreamSet* lost);
    void loseFrame(std::uint8_t streamId, Clock::time_point now, StreamSet& requests);
    bool heldForConfig(std::uint8_t streamId, Clock::time_point now, StreamSet& overdue,
                       std::optional<Clock::time_point>& wakeAt);
    void recycle(PacketPtr packet);

    std::vector<PacketPtr> queue_;  // oldest first; capacity grows once, then stays
    std::vector<PacketPtr> spare_;
    std::array<Stream, 256> streams_;
    std::size_t largestPacket_ = 0;
    std::int32_t inFlight_ = 0;
    std::int64_t queuedBytes_ = 0;
    std::int64_t inFlightBytes_ = 0;
    // When the current backlog last saw progress: the last packet written, the moment the
    // queue filled from empty, the connection start or the last stall.
    Clock::time_point stallClock_;
};

}  // namespace lumivane::host
