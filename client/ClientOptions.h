#pragma once
// The command line: what to do and how.

#include "FeedbackSchedule.h"
#include "InputScript.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::client {

enum class Command { Help, Discover, List, Stream };
enum class InputChannel { Input, Video };

// One window to stream, named by id or by title.
struct WindowChoice {
    std::optional<std::uint32_t> id;
    std::string title;
};

struct ClientOptions {
    Command command = Command::Help;

    // Where the host is.
    std::string host = "127.0.0.1";
    std::uint16_t port = 9876;  // signalling
    std::uint16_t discoveryPort = 9877;
    bool discoverFirst = false;
    bool broadcast = false;
    std::string clientName = "lumivane-client";
    std::uint32_t timeoutMs = 5000;

    // Output.
    bool json = false;
    bool verbose = false;
    std::string iconDir;

    // Which windows, in the order they are started, and for how long.
    std::vector<WindowChoice> windows;
    std::uint64_t frames = 0;   // per window; 0: no limit
    double seconds = 0;         // 0: no limit
    std::uint32_t idleTimeoutMs = 0;  // 0: a still window may send nothing for ever

    std::string saveDir;
    std::uint32_t saveEvery = 1;
    bool audio = true;
    std::string audioOut;

    // Feedback on the video connection.
    bool feedback = true;
    std::optional<std::uint16_t> feedbackRttMs;     // else the measured ping time
    std::optional<std::uint16_t> feedbackDecodeMs;  // else the measured decode time
    std::optional<FeedbackSchedule> feedbackSchedule;
    std::uint32_t feedbackIntervalMs = 1000;

    // None, one played on every window, or one per window in the order of `windows`.
    std::vector<InputScript> inputs;
    InputChannel inputChannel = InputChannel::Input;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> resize;
    double keyframeEverySeconds = 0;
    std::uint32_t statsIntervalMs = 1000;
};

struct ParsedOptions {
    ClientOptions options;
    std::string error;  // non-empty: the command line was not understood
};

// args excludes the program name. Reads the --input file.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// The --help text.
const char* helpText();

}  // namespace lumivane::client
