#pragma once
// One window the session streams, and what belongs to it alone: the window chosen, its
// stream id once the host started it, its decoder and checks, its statistics and its
// input script. The session owns one per --window/--title and feeds each its own packets.

#include "FrameSaver.h"
#include "InputPlayer.h"
#include "StreamStats.h"
#include "VideoReceiver.h"
#include "core/WindowInfo.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace lumivane::client {

class Reporter;

class WatchedStream {
public:
    using Clock = std::chrono::steady_clock;

    WatchedStream(std::size_t index, Reporter& reporter, FrameSaver saver)
        : index_(index), receiver_(reporter, stats_, std::move(saver)) {}
    WatchedStream(const WatchedStream&) = delete;
    WatchedStream& operator=(const WatchedStream&) = delete;

    // Position among the command line's windows, from 0.
    std::size_t index() const { return index_; }
    bool started() const { return receiver_.streamId().has_value(); }
    std::uint8_t streamId() const { return receiver_.streamId().value_or(0); }

    protocol::WindowInfo window;
    StreamStats& stats() { return stats_; }
    VideoReceiver& receiver() { return receiver_; }
    const VideoReceiver& receiver() const { return receiver_; }
    std::unique_ptr<InputPlayer> input;  // from its first picture on, when it has a script
    bool stopped = false;                // the host confirmed stream_stopped
    Clock::time_point lastVideo;

private:
    std::size_t index_;
    StreamStats stats_;  // before receiver_, which keeps a reference
    VideoReceiver receiver_;
};

}  // namespace lumivane::client
