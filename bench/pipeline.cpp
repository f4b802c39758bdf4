// Window to decoded picture, end to end: our host against ffmpeg's x11grab + libx264 on
// the same stamped test window. See bench/README.md for how to run it.

#include "PipelineRuns.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace lumivane::bench;

namespace {

const char* kUsage =
    "Usage: bench_pipeline [--seconds S] [--sizes SIZE,SIZE...] [--no-ffmpeg] [--no-still] [--front]\n"
    "  SIZE     WxH, or NxWxH for N windows of WxH streamed at once (side by side);\n"
    "           default 1920x1080,2560x1440,2x1280x720\n"
    "  --host PATH another build of lumivane-host to measure (default: the one built with this)\n"
    "  --no-still  skip the streamed still window's CPU figure\n"
    "  --no-drag   skip the window dragged to a new size on every frame\n"
    "  --front  the host's dashboard keeps the focus while streaming (by default the test\n"
    "           window takes it, as the application a user streams would)\n"
    "Needs an X server with Composite (DISPLAY) that shows nothing else at the origin and is\n"
    "large enough for every size, e.g.\n"
    "  LV_XVFB_SCREEN=2560x1440x24 bash -c 'source scripts/lib/services.sh && lv_start_services &&\n"
    "    build/bench/bench_pipeline'\n";

struct Size {
    std::uint32_t windows = 1, width = 0, height = 0;
    std::string name() const {
        return (windows > 1 ? std::to_string(windows) + "x" : "") + std::to_string(width) + "x" + std::to_string(height);
    }
};

struct Options {
    double seconds = 10;
    std::vector<Size> sizes{{1, 1920, 1080}, {1, 2560, 1440}, {2, 1280, 720}};
    bool ffmpeg = true;
    bool still = true;
    bool drag = true;
    bool dashboardInFront = false;
    std::string hostBinary;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-ffmpeg") {
            o.ffmpeg = false;
        } else if (arg == "--no-still") {
            o.still = false;
        } else if (arg == "--no-drag") {
            o.drag = false;
        } else if (arg == "--front") {
            o.dashboardInFront = true;
        } else if (arg == "--host" && i + 1 < argc) {
            o.hostBinary = argv[++i];
        } else if (arg == "--seconds" && i + 1 < argc) {
            o.seconds = std::atof(argv[++i]);
        } else if (arg == "--sizes" && i + 1 < argc) {
            o.sizes.clear();
            for (char* size = std::strtok(argv[++i], ","); size; size = std::strtok(nullptr, ",")) {
                Size parsed;
                if (std::sscanf(size, "%ux%ux%u", &parsed.windows, &parsed.width, &parsed.height) != 3) {
                    parsed.windows = 1;
                    if (std::sscanf(size, "%ux%u", &parsed.width, &parsed.height) != 2) return false;
                }
                if (parsed.windows < 1 || parsed.windows > 4 || parsed.width < 1024 || parsed.height < 16) return false;
                o.sizes.push_back(parsed);
            }
        } else {
            return false;
        }
    }
    return o.seconds > 0 && !o.sizes.empty();
}

bool screenSize(std::uint32_t& width, std::uint32_t& height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    width = std::uint32_t(DisplayWidth(display, DefaultScreen(display)));
    height = std::uint32_t(DisplayHeight(display, DefaultScreen(display)));
    XCloseDisplay(display);
    return true;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one + " (1 min), " + five + " (5 min)";
}

void printRow(const std::string& size, const char* name, const RunResult& r) {
    if (!r.error.empty()) {
        std::printf("%-12s %-10s failed: %s\n", size.c_str(), name, r.error.c_str());
        return;
    }
    for (std::size_t i = 0; i < r.streams.size(); ++i) {
        const StreamResult& stream = r.streams[i];
        const auto& g = stream.glassToGlassMs;
        char host[64] = "      -        -";
        if (stream.hostMedianMs) std::snprintf(host, sizeof host, "%7.2f  %7.2f", *stream.hostMedianMs, *stream.hostP99Ms);
        std::string label = r.streams.size() > 1 ? std::string(name) + "#" + std::to_string(i + 1) : name;
        if (i == 0) {
            std::printf("%-12s %-10s %5.1f  %7.2f  %7.2f  %s  %5.0f%%  %6.2f  %5.1f%%  %5.1f%%  %zu/%llu\n", size.c_str(),
                        label.c_str(), stream.fps, g.percentile(0.5), g.percentile(0.99), host, r.cpuPercent,
                        r.cpuMsPerFrame(), r.idleCpuPercent, r.idleFrontCpuPercent, g.values.size(),
                        static_cast<unsigned long long>(stream.unreadable));
        } else {
            std::printf("%-12s %-10s %5.1f  %7.2f  %7.2f  %s  %6s  %6s  %6s  %6s  %zu/%llu\n", "", label.c_str(), stream.fps,
                        g.percentile(0.5), g.percentile(0.99), host, "", "", "", "", g.values.size(),
                        static_cast<unsigned long long>(stream.unreadable));
        }
    }
}

void printRatios(const RunResult& ours, const RunResult& theirs) {
    if (!ours.error.empty() || !theirs.error.empty() || ours.streams.empty() || theirs.streams.empty()) return;
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    const auto& g = ours.streams[0].glassToGlassMs;
    const auto& h = theirs.streams[0].glassToGlassMs;
    std::printf("%-12s lumivane/ffmpeg: fps %.2fx; glass-to-glass median %.2fx, p99 %.2fx; CPU per frame %.2fx\n", "",
                ratio(ours.totalFps(), theirs.totalFps()), ratio(g.percentile(0.5), h.percentile(0.5)),
                ratio(g.percentile(0.99), h.percentile(0.99)), ratio(ours.cpuMsPerFrame(), theirs.cpuMsPerFrame()));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::uint32_t screenWidth = 0, screenHeight = 0;
    if (!std::getenv("DISPLAY") || !screenSize(screenWidth, screenHeight)) {
        std::fprintf(stderr, "No X display (DISPLAY).\n%s", kUsage);
        return 2;
    }
    for (const Size& size : options.sizes) {
        if (size.windows * size.width > screenWidth || size.height > screenHeight) {
            std::fprintf(stderr, "%s does not fit the %ux%u screen; start the X server larger (LV_XVFB_SCREEN).\n",
                         size.name().c_str(), screenWidth, screenHeight);
            return 2;
        }
    }
    if (options.ffmpeg && !ffmpegAvailable()) {
        std::fprintf(stderr, "ffmpeg with x11grab and libx264 not found; install it (apt-get install ffmpeg) or "
                             "pass --no-ffmpeg. Measuring lumivane only.\n");
        options.ffmpeg = false;
    }
    RunSettings defaults;
    std::printf("Load average before: %s; %ld CPUs; screen %ux%u\n", loadAverage().c_str(),
                sysconf(_SC_NPROCESSORS_ONLN), screenWidth, screenHeight);
    std::printf("Each run: %.0f s measured after 1 s warm-up; windows painted at %.0f fps; glass-to-glass is the\n"
                "age of the time stamp drawn into each picture when the receiver has decoded it.\n\n",
                options.seconds, defaults.paintFps);
    std::printf("%-12s %-10s %5s  %7s  %7s  %7s  %7s  %6s  %6s  %6s  %6s  %s\n", "size", "pipeline", "fps", "g2g p50",
                "g2g p99", "host50", "host99", "CPU", "ms/frm", "idle", "front", "stamps/unread");
    std::vector<std::string> commands;
    for (const Size& size : options.sizes) {
        RunSettings s;
        s.width = size.width;
        s.height = size.height;
        s.windows = size.windows;
        s.seconds = options.seconds;
        s.dashboardInFront = options.dashboardInFront;
        s.hostBinary = options.hostBinary;
        const RunResult ours = runLumivane(s);
        printRow(size.name(), "lumivane", ours);
        std::fflush(stdout);
        if (!options.ffmpeg) continue;
        const RunResult theirs = runFfmpeg(s);
        printRow(size.name(), "ffmpeg", theirs);
        printRatios(ours, theirs);
        std::fflush(stdout);
        commands = {ours.command, theirs.command};
    }
    if (options.still) {
        RunSettings s;
        s.width = 1920;
        s.height = 1080;
        s.dashboardInFront = options.dashboardInFront;
        s.hostBinary = options.hostBinary;
        const RunResult still = runStillWindow(s);
        if (still.error.empty())
            std::printf("\nStill 1920x1080 window streamed: host CPU %.1f%%; idle %.1f%%, front %.1f%%\n",
                        still.cpuPercent, still.idleCpuPercent, still.idleFrontCpuPercent);
        else
            std::printf("\nStill window: failed: %s\n", still.error.c_str());
    }
    if (options.drag) {
        RunSettings s;
        s.dashboardInFront = options.dashboardInFront;
        s.hostBinary = options.hostBinary;
        const DragResult drag = runDrag(s);
        if (!drag.error.empty())
            std::printf("Drag: failed: %s\n", drag.error.c_str());
        else if (drag.finalShownMs)
            std::printf("Drag: %d size changes in 2 s, %d encoder rebuilds; the final size shown %.0f ms after the last change\n",
                        drag.sizeChanges, drag.encoderRebuilds, *drag.finalShownMs);
        else
            std::printf("Drag: %d size changes in 2 s, %d encoder rebuilds; the final size never shown\n",
                        drag.sizeChanges, drag.encoderRebuilds);
    }
    std::printf("\nLoad average after: %s\n", loadAverage().c_str());
    std::printf("Times in ms. host50/host99: frame arrival to last byte handed to the socket, from the host's log.\n"
                "CPU: the sender process(es) while streaming, %% of one core; ms/frm: CPU ms per delivered picture;\n"
                "idle: the host before streaming, its dashboard %s; front: the same with the dashboard in front.\n",
                options.dashboardInFront ? "in front" : "behind the test window");
    for (const auto& c : commands) std::printf("  %s\n", c.c_str());
    return 0;
}
