#include "ClientOptions.h"

#include "TextScan.h"

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace lumivane::client {

namespace {

constexpr unsigned kDiscover = 1, kList = 2, kStream = 4, kConnect = kList | kStream, kAll = 7;

struct Option {
    bool takesValue;
    unsigned commands;
    // Returns an error text, empty when the value was accepted.
    std::function<std::string(ClientOptions&, const std::string&)> apply;
};

template <typename T>
std::string setNumber(T& field, const std::string& value, std::uint64_t min, std::uint64_t max) {
    auto n = parseUnsigned(value, max);
    if (!n || *n < min) return "expects a number from " + std::to_string(min) + " to " + std::to_string(max);
    field = static_cast<T>(*n);
    return "";
}

std::string setSeconds(double& field, const std::string& value) {
    auto s = parseSeconds(value);
    if (!s || *s <= 0) return "expects seconds above 0, such as 10 or 2.5";
    field = *s;
    return "";
}

std::string setScript(ClientOptions& o, const std::string& text) {
    std::string error;
    auto script = InputScript::parse(text, error);
    if (!script) return "input script " + error;
    o.inputs.push_back(std::move(*script));
    return "";
}

std::string readScriptFile(ClientOptions& o, const std::string& path) {
    std::ifstream file(path);
    if (!file) return "cannot read " + path;
    std::stringstream text;
    text << file.rdbuf();
    return setScript(o, text.str());
}

const std::map<std::string, Option>& optionTable() {
    using O = ClientOptions;
    static const std::map<std::string, Option> table{
        {"--host", {true, kAll, [](O& o, const std::string& v) { o.host = v; return v.empty() ? "expects an address" : ""; }}},
        {"--port", {true, kConnect, [](O& o, const std::string& v) { return setNumber(o.port, v, 1, 65535); }}},
        {"--discovery-port", {true, kAll, [](O& o, const std::string& v) { return setNumber(o.discoveryPort, v, 1, 65535); }}},
        {"--discover", {false, kConnect, [](O& o, const std::string&) { o.discoverFirst = true; return ""; }}},
        {"--broadcast", {false, kAll, [](O& o, const std::string&) { o.broadcast = true; return ""; }}},
        {"--name", {true, kAll, [](O& o, const std::string& v) { o.clientName = v; return ""; }}},
        {"--timeout", {true, kAll, [](O& o, const std::string& v) { return setNumber(o.timeoutMs, v, 1, 600000); }}},
        {"--json", {false, kAll, [](O& o, const std::string&) { o.json = true; return ""; }}},
        {"--verbose", {false, kAll, [](O& o, const std::string&) { o.verbose = true; return ""; }}},
        {"--icons", {true, kConnect, [](O& o, const std::string& v) { o.iconDir = v; return ""; }}},
        {"--window", {true, kStream, [](O& o, const std::string& v) {
             auto id = parseUnsigned(v.starts_with("0x") ? v : "0x" + v, 0xFFFFFFFFu);
             if (!id) return "expects a window id in hexadecimal, as the window list shows it";
             o.windows.push_back({static_cast<std::uint32_t>(*id), ""});
             return "";
         }}},
        {"--title", {true, kStream, [](O& o, const std::string& v) {
             o.windows.push_back({std::nullopt, v});
             return v.empty() ? "expects text" : "";
         }}},
        {"--frames", {true, kStream, [](O& o, const std::string& v) { return setNumber(o.frames, v, 1, 1ull << 40); }}},
        {"--seconds", {true, kStream, [](O& o, const std::string& v) { return setSeconds(o.seconds, v); }}},
        {"--idle-timeout", {true, kStream, [](O& o, const std::string& v) { return setNumber(o.idleTimeoutMs, v, 1, 3600000); }}},
        {"--save", {true, kStream, [](O& o, const std::string& v) { o.saveDir = v; return v.empty() ? "expects a folder" : ""; }}},
        {"--every", {true, kStream, [](O& o, const std::string& v) { return setNumber(o.saveEvery, v, 1, 1000000); }}},
        {"--no-audio", {false, kStream, [](O& o, const std::string&) { o.audio = false; return ""; }}},
        {"--audio-out", {true, kStream, [](O& o, const std::string& v) { o.audioOut = v; return v.empty() ? "expects a file" : ""; }}},
        {"--no-feedback", {false, kStream, [](O& o, const std::string&) { o.feedback = false; return ""; }}},
        {"--feedback-rtt", {true, kStream, [](O& o, const std::string& v) {
             std::uint16_t ms = 0;
             auto e = setNumber(ms, v, 0, 65535);
             o.feedbackRttMs = ms;
             return e;
         }}},
        {"--feedback-decode", {true, kStream, [](O& o, const std::string& v) {
             std::uint16_t ms = 0;
             auto e = setNumber(ms, v, 0, 65535);
             o.feedbackDecodeMs = ms;
             return e;
         }}},
        {"--feedback", {true, kStream, [](O& o, const std::string& v) {
             std::string error;
             o.feedbackSchedule = FeedbackSchedule::parse(v, error);
             return error;
         }}},
        {"--feedback-interval", {true, kStream, [](O& o, const std::string& v) { return setNumber(o.feedbackIntervalMs, v, 10, 60000); }}},
        {"--input", {true, kStream, readScriptFile}},
        {"--input-script", {true, kStream, setScript}},
        {"--input-channel", {true, kStream, [](O& o, const std::string& v) {
             if (v != "input" && v != "video") return "expects input or video";
             o.inputChannel = v == "video" ? InputChannel::Video : InputChannel::Input;
             return "";
         }}},
        {"--resize", {true, kStream, [](O& o, const std::string& v) {
             o.resize = parseSize(v, 16384);
             return o.resize ? "" : "expects WIDTHxHEIGHT, such as 1280x720";
         }}},
        {"--request-keyframe", {true, kStream, [](O& o, const std::string& v) { return setSeconds(o.keyframeEverySeconds, v); }}},
        {"--stats-interval", {true, kStream, [](O& o, const std::string& v) { return setNumber(o.statsIntervalMs, v, 10, 60000); }}},
    };
    return table;
}

std::optional<Command> commandOf(const std::string& word) {
    if (word == "discover") return Command::Discover;
    if (word == "list") return Command::List;
    if (word == "stream") return Command::Stream;
    if (word == "help" || word == "--help" || word == "-h") return Command::Help;
    return std::nullopt;
}

unsigned maskOf(Command c) { return c == Command::Discover ? kDiscover : c == Command::List ? kList : kStream; }

std::string checkCombination(const ClientOptions& o, const std::vector<std::string>& args) {
    auto given = [&](const char* name) {
        for (const auto& a : args) {
            if (a == name || a.starts_with(std::string(name) + "=")) return true;
        }
        return false;
    };
    if (o.command != Command::Stream) return "";
    if (o.windows.empty()) return "stream needs a window: --window ID or --title TEXT (repeat for several)";
    if (o.inputs.size() > 1 && o.inputs.size() != o.windows.size()) {
        return "give one input script for every window, or one for all (" + std::to_string(o.inputs.size()) +
               " scripts, " + std::to_string(o.windows.size()) + " windows)";
    }
    if (given("--every") && o.saveDir.empty()) return "--every needs --save DIR";
    if (!o.audio && !o.audioOut.empty()) return "--audio-out needs the audio that --no-audio turns off";
    if (!o.feedback && (o.feedbackSchedule || o.feedbackRttMs || o.feedbackDecodeMs)) {
        return "--no-feedback contradicts the feedback values given";
    }
    return "";
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions result;
    auto& o = result.options;
    if (args.empty()) {
        result.error = "no command given (discover, list or stream)";
        return result;
    }
    auto command = commandOf(args[0]);
    if (!command) {
        result.error = "unknown command '" + args[0] + "' (expected discover, list, stream or help)";
        return result;
    }
    o.command = *command;
    if (o.command == Command::Help) return result;
    const auto& table = optionTable();
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i], value;
        const auto eq = name.find('=');
        const bool inlineValue = name.starts_with("--") && eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            o.command = Command::Help;
            return result;
        }
        auto it = table.find(name);
        if (it == table.end() || !(it->second.commands & maskOf(o.command))) {
            result.error = (it == table.end() ? "unknown option " : "option not used by '" + args[0] + "': ") + name;
            return result;
        }
        if (it->second.takesValue && !inlineValue) {
            if (i + 1 >= args.size()) {
                result.error = name + " expects a value";
                return result;
            }
            value = args[++i];
        } else if (!it->second.takesValue && inlineValue) {
            result.error = name + " takes no value";
            return result;
        }
        if (auto error = it->second.apply(o, value); !error.empty()) {
            result.error = name + " " + error;
            return result;
        }
    }
    result.error = checkCombination(o, args);
    return result;
}

}  // namespace lumivane::client
