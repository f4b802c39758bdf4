#pragma once
// What the end-to-end test reads back: the client's --json events, saved pictures against
// the test window's pattern, and the decoded sound.

#include "capture/PngDecode.h"
#include "testwindow/TestPattern.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace lumivane::host::e2e {

// The client's events in order; lines that are not JSON objects are skipped.
struct ClientEvents {
    std::vector<nlohmann::json> events;

    static ClientEvents parse(const std::string& output) {
        ClientEvents out;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line.front() != '{') continue;
            auto event = nlohmann::json::parse(line, nullptr, false);
            if (event.is_object() && event.contains("event")) out.events.push_back(std::move(event));
        }
        return out;
    }
    // Index of the first event of that name matching, or -1.
    int indexOf(const std::string& name, const std::function<bool(const nlohmann::json&)>& match = nullptr) const {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]["event"] == name && (!match || match(events[i]))) return int(i);
        }
        return -1;
    }
    nlohmann::json first(const std::string& name) const {
        const int i = indexOf(name);
        return i < 0 ? nlohmann::json::object() : events[std::size_t(i)];
    }
    std::vector<nlohmann::json> all(const std::string& name) const {
        std::vector<nlohmann::json> out;
        for (const auto& e : events) {
            if (e["event"] == name) out.push_back(e);
        }
        return out;
    }
};

// Keys go to the window under the pointer from now on, as with focus-follows-mouse. The
// host's own window takes the focus when it opens, and the test server has no window
// manager to hand it to a clicked window before the keys that follow the click arrive.
// False when the display cannot be opened.
bool focusFollowsPointer();

// The id of the test window's "window 0xID" line, 0 when there is none.
inline std::uint32_t reportedWindowId(const std::string& report) {
    const auto at = report.find("window 0x");
    return at == std::string::npos ? 0 : std::uint32_t(std::strtoul(report.c_str() + at + 9, nullptr, 16));
}

// The text the test window read from its key presses ("typed" lines), in order.
inline std::string typedText(const std::string& report) {
    std::istringstream lines(report);
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("typed ", 0) == 0) out += line.substr(6);
    }
    return out;
}

// The test window's report without its many "frame N" lines.
inline std::string withoutFrameLines(const std::string& report) {
    std::istringstream lines(report);
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("frame ", 0) != 0) out += line + "\n";
    }
    return out;
}

inline std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Limited-range BT.601 luma, as the encoder computes it.
inline int luma(int r, int g, int b) { return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16; }

struct PatternMatch {
    std::uint32_t frame = 0;  // modulo 256, the pattern's period
    double meanLumaError = 1e9;
};

// The pattern frame a decoded picture is closest to, over the window's own area (the
// picture may carry encoder padding below and to the right).
inline PatternMatch matchPattern(const DecodedPng& picture, std::uint32_t width, std::uint32_t height) {
    PatternMatch best;
    if (picture.width < width || picture.height < height) return best;
    for (std::uint32_t frame = 0; frame < 256; ++frame) {
        double sum = 0;
        for (std::uint32_t y = 0; y < height; y += 2) {
            for (std::uint32_t x = 0; x < width; x += 2) {
                const std::uint8_t* p = &picture.bgra[(std::size_t(y) * picture.width + x) * 4];
                const std::uint32_t rgb = testwindow::patternPixel(x, y, frame);
                sum += std::abs(luma(p[2], p[1], p[0]) -
                                luma(int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)));
            }
        }
        const double mean = sum / (double((width + 1) / 2) * ((height + 1) / 2));
        if (mean < best.meanLumaError) best = {frame, mean};
    }
    return best;
}

struct Tone {
    double seconds = 0;  // of sound above the noise
    double hz = 0;
};

// The loud stretch of the left channel of a 16-bit stereo WAV, and its frequency from the
// rising zero crossings within it.
inline Tone analyseWav(const std::vector<std::uint8_t>& wav) {
    Tone tone;
    if (wav.size() < 44) return tone;
    const auto sample = [&](std::size_t i) {
        return std::int16_t(wav[44 + 4 * i] | (wav[45 + 4 * i] << 8));
    };
    const std::size_t frames = (wav.size() - 44) / 4;
    std::optional<std::size_t> first;
    std::size_t last = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::abs(sample(i)) < 2000) continue;
        if (!first) first = i;
        last = i;
    }
    if (!first || last <= *first) return tone;
    int rising = 0;
    for (std::size_t i = *first + 1; i <= last; ++i) rising += sample(i - 1) < 0 && sample(i) >= 0;
    tone.seconds = double(last - *first) / 48000.0;
    tone.hz = rising / tone.seconds;
    return tone;
}

}  // namespace lumivane::host::e2e
