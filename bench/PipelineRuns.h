#pragma once
// One measured run of a window-streaming pipeline: stamped test windows at a size, a
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
    std::uint32_t windows = 1;  // streamed at once, side by side from the screen's origin
    double seconds = 10;  // measured, after the warm-up
    double warmupSeconds = 1;
    double paintFps = 72;        // the test window's animation, a headset's refresh rate
    std::uint32_t hostFps = 72;  // the host's frame-rate cap (its default)
    std::uint32_t grabFps = 72;  // x11grab's rate: the window's
    std::uint32_t bitrateKbps = 20000;
    std::uint32_t maxBitrateKbps = 50000;
    std::uint32_t gopLength = 60;
    // Whether the host's dashboard keeps the focus while streaming; otherwise the test
    // window takes it, as the application a user streams would.
    bool dashboardInFront = false;
    std::string hostBinary;  // empty: the host built with the bench
};

struct Samples {
    std::vector<double> values;
    // Nearest-rank percentile, fraction in (0, 1]; 0 when empty.
    double percentile(double fraction) const;
};

// What the receiver saw of one window.
struct StreamResult {
    Samples glassToGlassMs;
    std::optional<double> hostMedianMs, hostP99Ms;  // arrival to socket, ours only
    double fps = 0;
    std::uint64_t unreadable = 0;  // pictures whose stamp did not read back
};

struct RunResult {
    std::string error;  // non-empty: the run did not complete
    std::vector<StreamResult> streams;  // one per window
    double cpuPercent = 0;      // of one core, the sender's processes while streaming
    double idleCpuPercent = 0;       // the same process before streaming, dashboard behind (ours only)
    double idleFrontCpuPercent = 0;  // the same with the dashboard in front (ours only)
    std::string command;        // how the sender was run

    double totalFps() const;
    // CPU milliseconds the sender spent per delivered picture.
    double cpuMsPerFrame() const;
};

RunResult runLumivane(const RunSettings& settings);
RunResult runFfmpeg(const RunSettings& settings);
// The host streaming one window that does not change, pointer away: its CPU, % of one core.
RunResult runStillWindow(const RunSettings& settings);

// A window dragged to a new size on every frame for two seconds while our host streams it.
struct DragResult {
    std::string error;
    int sizeChanges = 0;
    int encoderRebuilds = 0;         // as the host logged them
    std::optional<double> finalShownMs;  // from the last change to the first picture of the final size
};
DragResult runDrag(const RunSettings& settings);

// True when an ffmpeg with x11grab and libx264 can be run.
bool ffmpegAvailable();

// User + system CPU seconds a process has used; negative when it cannot be read.
double processCpuSeconds(pid_t pid);

}  // namespace lumivane::bench
