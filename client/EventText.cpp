#include "EventText.h"

#include <fmt/format.h>

#include <functional>
#include <map>

namespace lumivane::client {

namespace {

using nlohmann::json;

std::string str(const json& e, const char* key) {
    auto it = e.find(key);
    if (it == e.end() || it->is_null()) return "-";
    return it->is_string() ? it->get<std::string>() : it->dump();
}

double num(const json& e, const char* key) {
    auto it = e.find(key);
    return it != e.end() && it->is_number() ? it->get<double>() : 0.0;
}

std::string ms(const json& e, const char* key) {
    auto it = e.find(key);
    if (it == e.end() || !it->is_number()) return "-";
    return fmt::format("{:.1f} ms", it->get<double>());
}

std::string hexId(const json& e, const char* key) { return fmt::format("{:x}", static_cast<std::uint32_t>(num(e, key))); }

// Cut on a UTF-8 character boundary, never inside a sequence.
std::string clip(const std::string& text, std::size_t width) {
    if (text.size() <= width) return text;
    std::size_t cut = width - 3;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "...";
}

std::string windowTable(const json& e) {
    const auto& windows = e["windows"];
    std::string out = fmt::format("windows: {}", windows.size());
    if (windows.empty()) return out;
    out += fmt::format("\n  {:>10}  {:<40}  {:<18}  {:>11}  {}", "ID", "TITLE", "PROCESS", "SIZE", "ICON");
    for (const auto& w : windows) {
        out += fmt::format("\n  {:>10}  {:<40}  {:<18}  {:>11}  {}", hexId(w, "id"), clip(str(w, "title"), 40),
                           clip(str(w, "processName"), 18), fmt::format("{}x{}", num(w, "width"), num(w, "height")),
                           w.value("icon", false) ? "yes" : "no");
    }
    return out;
}

std::string stats(const json& e) {
    std::string out = fmt::format("[{:7.1f}s] stream {} video {:5.1f} fps {:7.0f} kbit/s {} key", num(e, "t"),
                                  str(e, "streamId"), num(e, "fps"), num(e, "kbps"), num(e, "keyframes"));
    out += ", latency " + ms(e, "latencyMs") + " (max " + ms(e, "latencyMaxMs") + "), decode " + ms(e, "decodeMs");
    if (num(e, "gaps") > 0) out += fmt::format(", {} skipped", num(e, "gaps"));
    if (e.contains("audioPackets")) {
        out += fmt::format(" | audio {} pkt {:.0f} kbit/s {:.0f} ms", num(e, "audioPackets"), num(e, "audioKbps"),
                           num(e, "audioMs"));
    }
    if (e.contains("feedbackRttMs")) {
        out += fmt::format(" | feedback rtt {} decode {}", num(e, "feedbackRttMs"), num(e, "feedbackDecodeMs"));
    }
    return out;
}

using Formatter = std::function<std::string(const json&)>;

const std::map<std::string, Formatter>& formatters() {
    static const std::map<std::string, Formatter> table{
        {"discovered", [](const json& e) {
             return fmt::format("discovered: \"{}\" at {}, signalling port {}", str(e, "hostName"), str(e, "address"),
                                str(e, "port"));
         }},
        {"connected", [](const json& e) { return "connected: " + str(e, "address") + ":" + str(e, "port"); }},
        {"welcome", [](const json& e) {
             return fmt::format("welcome: {} {}; video port {}, audio port {}, input port {}", str(e, "hostName"),
                                str(e, "hostVersion"), str(e, "videoPort"), str(e, "audioPort"), str(e, "inputPort"));
         }},
        {"window_list", windowTable},
        {"icon_saved", [](const json& e) { return "icon_saved: window " + hexId(e, "id") + " -> " + str(e, "path"); }},
        {"transports", [](const json& e) {
             return fmt::format("transports: video {}, audio {}, input {}", str(e, "video"), str(e, "audio"),
                                str(e, "input"));
         }},
        {"stream_started", [](const json& e) {
             return fmt::format("stream_started: stream {}, window {} \"{}\"", str(e, "streamId"), hexId(e, "windowId"),
                                str(e, "title"));
         }},
        {"stream_config", [](const json& e) {
             return fmt::format("stream_config: stream {}, {}x{} {}, {} kbit/s, {} fps, SPS {} B, PPS {} B",
                                str(e, "streamId"), str(e, "width"), str(e, "height"), str(e, "codec"),
                                str(e, "targetBitrate"), str(e, "targetFps"), str(e, "spsBytes"), str(e, "ppsBytes"));
         }},
        {"keyframe", [](const json& e) {
             return fmt::format("keyframe: stream {}, sequence {}, {} B, {}x{}, {}", str(e, "streamId"),
                                str(e, "sequence"), str(e, "bytes"), str(e, "width"), str(e, "height"), str(e, "order"));
         }},
        {"stats", stats},
        {"frame_saved", [](const json& e) { return "frame_saved: " + str(e, "path"); }},
        {"input", [](const json& e) {
             return fmt::format("input: line {}: {} ({} events)", str(e, "line"), str(e, "command"), str(e, "events"));
         }},
        {"input_done", [](const json& e) { return fmt::format("input_done: {} events sent", str(e, "events")); }},
        {"resize_requested", [](const json& e) { return "resize_requested: " + str(e, "width") + "x" + str(e, "height"); }},
        {"window_resized", [](const json& e) {
             return fmt::format("window_resized: {}x{}, {}", str(e, "width"), str(e, "height"),
                                e.value("success", false) ? "done" : "refused by the host");
         }},
        {"keyframe_requested", [](const json& e) {
             return fmt::format("keyframe_requested: stream {} over {}", str(e, "streamId"), str(e, "via"));
         }},
        {"stream_stopped", [](const json& e) { return "stream_stopped: stream " + str(e, "streamId"); }},
        {"summary", [](const json& e) {
             return fmt::format("summary: stream {} (window {}): {} pictures in {:.1f} s ({:.1f} fps, {:.0f} kbit/s), "
                                "{} keyframes, {} configs, {} decode errors, {} violations; audio {:.1f} s; latency {}; "
                                "exit {}",
                                str(e, "streamId"), hexId(e, "windowId"), num(e, "pictures"), num(e, "seconds"), num(e, "fps"), num(e, "kbps"), num(e, "keyframes"),
                                num(e, "configs"), num(e, "decodeErrors"), num(e, "violations"),
                                num(e, "audioSeconds"), ms(e, "latencyMs"), num(e, "exitCode"));
         }},
        {"interrupted", [](const json& e) { return "interrupted: " + str(e, "message"); }},
        {"warning", [](const json& e) { return "lumivane-client: warning: " + str(e, "message"); }},
        {"violation", [](const json& e) { return "lumivane-client: PROTOCOL VIOLATION: " + str(e, "message"); }},
        {"error", [](const json& e) { return "lumivane-client: error: " + str(e, "message"); }},
    };
    return table;
}

std::string generic(const json& e) {
    std::string out = str(e, "event") + ":";
    for (const auto& [key, value] : e.items()) {
        if (key != "event") out += " " + key + "=" + (value.is_string() ? value.get<std::string>() : value.dump());
    }
    return out;
}

}  // namespace

std::string formatEventText(const json& event) {
    const auto& table = formatters();
    auto it = table.find(str(event, "event"));
    return it == table.end() ? generic(event) : it->second(event);
}

}  // namespace lumivane::client
