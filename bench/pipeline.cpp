// Window to decoded picture, end to end: our host against ffmpeg's x11grab + libx264 on
// the same stamped test window. See bench/README.md for how to run it.

#include "PipelineRuns.h"

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
    "Usage: bench_pipeline [--seconds S] [--sizes WxH,WxH...] [--no-ffmpeg] [--front]\n"
    "  --front  the host's dashboard keeps the focus while streaming (by default the test\n"
    "           window takes it, as the application a user streams would)\n"
    "Needs an X server with Composite (DISPLAY) that shows nothing else at the origin, e.g.\n"
    "  bash -c 'source scripts/lib/services.sh && lv_start_services && build/bench/bench_pipeline'\n";

struct Options {
    double seconds = 10;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes{{1280, 720}, {1920, 1080}};
    bool ffmpeg = true;
    bool dashboardInFront = false;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-ffmpeg") {
            o.ffmpeg = false;
        } else if (arg == "--front") {
            o.dashboardInFront = true;
        } else if (arg == "--seconds" && i + 1 < argc) {
            o.seconds = std::atof(argv[++i]);
        } else if (arg == "--sizes" && i + 1 < argc) {
            o.sizes.clear();
            for (char* size = std::strtok(argv[++i], ","); size; size = std::strtok(nullptr, ",")) {
                unsigned w = 0, h = 0;
                if (std::sscanf(size, "%ux%u", &w, &h) != 2 || w < 1024 || h < 16) return false;
                o.sizes.push_back({w, h});
            }
        } else {
            return false;
        }
    }
    return o.seconds > 0 && !o.sizes.empty();
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one + " (1 min), " + five + " (5 min)";
}

void printRow(const std::string& size, const char* name, const RunResult& r) {
    if (!r.error.empty()) {
        std::printf("%-10s %-9s failed: %s\n", size.c_str(), name, r.error.c_str());
        return;
    }
    const auto& g = r.glassToGlassMs;
    char host[64] = "      -        -";
    if (r.hostMedianMs) std::snprintf(host, sizeof host, "%7.2f  %7.2f", *r.hostMedianMs, *r.hostP99Ms);
    std::printf("%-10s %-9s %5.1f  %7.2f  %7.2f  %s  %5.0f%%  %5.0f%%  %5.0f%%  %zu/%llu\n", size.c_str(), name,
                r.fps, g.percentile(0.5), g.percentile(0.99), host, r.cpuPercent, r.idleCpuPercent,
                r.idleFrontCpuPercent, g.values.size(),
                static_cast<unsigned long long>(r.unreadable));
}

void printRatios(const RunResult& ours, const RunResult& theirs) {
    if (!ours.error.empty() || !theirs.error.empty()) return;
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("%-10s ffmpeg/lumivane: glass-to-glass median %.2fx, p99 %.2fx; CPU %.2fx\n", "",
                ratio(theirs.glassToGlassMs.percentile(0.5), ours.glassToGlassMs.percentile(0.5)),
                ratio(theirs.glassToGlassMs.percentile(0.99), ours.glassToGlassMs.percentile(0.99)),
                ratio(theirs.cpuPercent, ours.cpuPercent));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "DISPLAY is not set.\n%s", kUsage);
        return 2;
    }
    if (options.ffmpeg && !ffmpegAvailable()) {
        std::fprintf(stderr, "ffmpeg with x11grab and libx264 not found; install it (apt-get install ffmpeg) or "
                             "pass --no-ffmpeg. Measuring lumivane only.\n");
        options.ffmpeg = false;
    }
    std::printf("Load average before: %s; %ld CPUs\n", loadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("Each run: %.0f s measured after 1 s warm-up; window painted at 60 fps; glass-to-glass is the\n"
                "age of the time stamp drawn into each picture when the receiver has decoded it.\n\n",
                options.seconds);
    std::printf("%-10s %-9s %5s  %7s  %7s  %7s  %7s  %6s  %6s  %6s  %s\n", "size", "pipeline", "fps", "g2g p50",
                "g2g p99", "host50", "host99", "CPU", "idle", "front", "stamps/unread");
    std::vector<std::string> commands;
    for (const auto& [w, h] : options.sizes) {
        RunSettings s;
        s.width = w;
        s.height = h;
        s.seconds = options.seconds;
        s.dashboardInFront = options.dashboardInFront;
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const RunResult ours = runLumivane(s);
        printRow(size, "lumivane", ours);
        std::fflush(stdout);
        if (!options.ffmpeg) continue;
        const RunResult theirs = runFfmpeg(s);
        printRow(size, "ffmpeg", theirs);
        printRatios(ours, theirs);
        std::fflush(stdout);
        commands = {ours.command, theirs.command};
    }
    std::printf("\nLoad average after: %s\n", loadAverage().c_str());
    std::printf("Times in ms. host50/host99: frame arrival to last byte handed to the socket, from the host's log.\n"
                "CPU: the sender process while streaming, %% of one core; idle: the host before streaming, its\n"
                "dashboard %s; front: the same with the dashboard in front.\n",
                options.dashboardInFront ? "in front" : "behind the test window");
    for (const auto& c : commands) std::printf("  %s\n", c.c_str());
    return 0;
}
