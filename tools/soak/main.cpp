// lumivane-soak: see --help.
#include "ChurnActions.h"
#include "SoakRun.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

constexpr const char* kHelp =
    "Usage: lumivane-soak [--seconds N] [--sample N] [--seed N] [--max-rss-growth MIB]\n"
    "Runs the real host on the current X display and PulseAudio server (scripts/soak starts\n"
    "private ones) with an animated test window, streams it to one good client, and for N\n"
    "seconds (default 120) lets a churn of other clients connect, stream and get killed (-9),\n"
    "vanish, stall, send oversized and malformed messages and send input from 127.0.0.2.\n"
    "Every --sample seconds (default 5) it prints the host's resident memory, descriptors and\n"
    "threads. It fails when the host dies or does not exit cleanly on SIGTERM, when it holds\n"
    "more descriptors after the churn than before, when the good client's stream stops for\n"
    "more than a second, or (runs of 10 minutes or more) when the host's memory grows by more\n"
    "than --max-rss-growth MiB (default 5) after the warm-up.\n"
    "Uses UDP port 9877 (the host's discovery port).\n";

bool number(const std::string& text, unsigned long& out) {
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    using namespace lumivane::soak;
    std::map<std::string, std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (i + 1 >= argc || arg.rfind("--", 0) != 0) {
            std::fprintf(stderr, "unexpected argument: %s (see --help)\n", arg.c_str());
            return 2;
        }
        args[arg] = argv[++i];
    }
    std::map<std::string, unsigned long> numbers;
    for (const auto& [key, value] : args) {
        if (key == "--act") continue;
        if (key == "--max-rss-growth") continue;
        if (!number(value, numbers[key])) {
            std::fprintf(stderr, "%s needs a number, not %s\n", key.c_str(), value.c_str());
            return 2;
        }
    }
    if (args.count("--act")) {
        HostAddress host;
        host.signaling = static_cast<std::uint16_t>(numbers["--signaling"]);
        host.video = static_cast<std::uint16_t>(numbers["--video"]);
        host.audio = static_cast<std::uint16_t>(numbers["--audio"]);
        host.input = static_cast<std::uint16_t>(numbers["--input"]);
        host.windowId = static_cast<std::uint32_t>(numbers["--window"]);
        return runChurnAction(args["--act"], host);
    }
    SoakOptions options;
    options.self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (numbers.count("--seconds")) options.duration = std::chrono::seconds(numbers["--seconds"]);
    if (numbers.count("--sample")) options.sampleEvery = std::chrono::seconds(std::max(1ul, numbers["--sample"]));
    if (numbers.count("--seed")) options.seed = static_cast<std::uint32_t>(numbers["--seed"]);
    if (args.count("--max-rss-growth")) options.maxRssGrowthMiB = std::atof(args["--max-rss-growth"].c_str());
    for (const auto& [key, value] : numbers) {
        if (key != "--seconds" && key != "--sample" && key != "--seed") {
            std::fprintf(stderr, "unknown option %s (see --help)\n", key.c_str());
            return 2;
        }
    }
    return runSoak(options);
}
