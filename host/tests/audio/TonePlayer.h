#pragma once
// Plays a tone into the PulseAudio null sink that scripts/test starts, through pacat.

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace lumivane::host {

// A stereo sine wave into the null sink through pacat until destroyed.
class TonePlayer {
public:
    explicit TonePlayer(double hz = 440.0) : hz_(hz) {
        pipe_ = popen("pacat --playback --device=lumivane_null --format=s16le --rate=48000 "
                      "--channels=2 --raw --latency-msec=20", "w");
        if (pipe_) thread_ = std::thread([this] { play(); });
    }
    ~TonePlayer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (pipe_) pclose(pipe_);
    }
    bool ok() const { return pipe_ != nullptr; }

private:
    void play() {
        std::vector<std::int16_t> block(480 * 2);
        std::uint64_t n = 0;
        while (!stop_) {
            for (std::size_t i = 0; i < 480; ++i, ++n) {
                const double phase = 2 * 3.14159265358979323846 * hz_ * double(n) / 48000.0;
                const auto v = static_cast<std::int16_t>(12000 * std::sin(phase));
                block[2 * i] = block[2 * i + 1] = v;
            }
            if (fwrite(block.data(), sizeof(std::int16_t), block.size(), pipe_) != block.size()) break;
        }
    }
    const double hz_;
    FILE* pipe_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

}  // namespace lumivane::host
