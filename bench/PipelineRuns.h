#pragma once
// One measured run of a window-streaming pipeline: the stamped test window at a size, a
// sender (our host, or ffmpeg's x11grab + libx264), and a receiver that decodes every
// picture and reads the time it was drawn.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::bench {

struct RunSettings {
    std::uint32_t width = 1280;
    std::uint32_t height = 720;
    double seconds = 10;  // measured, after the warm-up
    double warmupSeconds = 1;
    double paintFps = 60;      // the test window's animation
    std::uint32_t hostFps = 72;  // the host's frame-rate cap (its default)
    std::uint32_t grabFps = 60;  // x11grab's rate: the window's, as a user would pick
    std::uint32_t bitrateKbps = 20000;
    std::uint32_t maxBitrateKbps = 50000;
    std::uint32_t gopLength = 60;
    // Whether the host's dashboard keeps the focus while streaming; otherwise the test
    // window takes it, as the application a user streams would.
    bool dashboardInFront = false;
};

struct Samples {
    std::vector<double> values;
    // Nearest-rank percentile, fraction in (0, 1]; 0 when empty.
    double percentile(double fraction) const;
};

struct RunResult {
    std::string error;  // non-empty: the run did not complete
    Samples glassToGlassMs;
    std::optional<double> hostMedianMs, hostP99Ms;  // arrival to socket, ours only
    double fps = 0;
    double cpuPercent = 0;      // of one core, the sender's process while streaming
    double idleCpuPercent = 0;       // the same process before streaming, dashboard behind (ours only)
    double idleFrontCpuPercent = 0;  // the same with the dashboard in front (ours only)
    std::uint64_t unreadable = 0;  // pictures whose stamp did not read back
    std::string command;        // how the sender was run
};

RunResult runLumivane(const RunSettings& settings);
RunResult runFfmpeg(const RunSettings& settings);

// True when an ffmpeg with x11grab and libx264 can be run.
bool ffmpegAvailable();

// User + system CPU seconds a process has used; negative when it cannot be read.
double processCpuSeconds(pid_t pid);

}  // namespace lumivane::bench
