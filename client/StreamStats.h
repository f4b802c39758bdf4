#pragma once
// Counts for the per-second report and the run's totals. Pure: the caller passes the
// length of each interval, so the arithmetic can be checked without a clock.

#include <cstdint>
#include <optional>

namespace lumivane::client {

struct LatencyStats {
    std::uint32_t samples = 0;
    double sumMs = 0;
    double maxMs = 0;

    void add(double ms);
    void merge(const LatencyStats& other);
    std::optional<double> averageMs() const;
};

struct VideoInterval {
    std::uint32_t packets = 0;    // of this stream
    std::uint32_t keyframes = 0;
    std::uint32_t decoded = 0;
    std::uint64_t bytes = 0;      // frame bytes, headers excluded
    std::uint32_t sequenceGaps = 0;  // packets the host skipped on the connection (any stream)
    LatencyStats latency;
    double decodeMsSum = 0;
};

struct AudioInterval {
    std::uint32_t packets = 0;
    std::uint64_t bytes = 0;
    std::uint64_t samples = 0;  // per channel, decoded
    std::uint32_t sequenceGaps = 0;
    LatencyStats latency;
};

struct IntervalReport {
    double seconds = 0;
    VideoInterval video;
    AudioInterval audio;

    double fps() const { return seconds > 0 ? video.decoded / seconds : 0; }
    double videoKbps() const { return seconds > 0 ? video.bytes * 8.0 / 1000.0 / seconds : 0; }
    double audioKbps() const { return seconds > 0 ? audio.bytes * 8.0 / 1000.0 / seconds : 0; }
    std::optional<double> decodeMsAverage() const;
};

// Counts sequence numbers that were skipped on a 16-bit wrapping counter.
class SequenceTracker {
public:
    // Packets missing before this one (0 for the first, for consecutive ones and for
    // repeats or steps back).
    std::uint32_t next(std::uint16_t sequence);

private:
    std::optional<std::uint16_t> last_;
};

class StreamStats {
public:
    // Every packet on the video connection, whichever stream it carries.
    void onVideoSequence(std::uint16_t sequence);
    void onVideoPacket(std::size_t frameBytes, bool keyframe, std::optional<double> latencyMs);
    void onVideoDecoded(double decodeMs);
    void onAudioPacket(std::uint16_t sequence, std::size_t bytes, std::optional<double> latencyMs);
    void onAudioDecoded(std::uint32_t samplesPerChannel);

    // Closes the current interval, adds it to the totals and starts the next.
    IntervalReport takeInterval(double seconds);
    // Everything so far, the open interval included.
    IntervalReport totals() const;

private:
    static void addTo(IntervalReport& sum, const IntervalReport& part);

    IntervalReport current_;
    IntervalReport totals_;
    SequenceTracker videoSequence_;
    SequenceTracker audioSequence_;
};

}  // namespace lumivane::client
