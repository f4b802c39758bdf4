#include "FeedbackSchedule.h"

#include "TextScan.h"

namespace lumivane::client {

namespace {

std::string_view dropSuffix(std::string_view text, std::string_view suffix) {
    if (text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix) {
        text.remove_suffix(suffix.size());
    }
    return text;
}

bool parseRange(std::string_view range, FeedbackSchedule::Segment& segment) {
    const auto dash = range.find('-');
    if (dash == std::string_view::npos) return false;
    auto from = parseSeconds(dropSuffix(range.substr(0, dash), "s"));
    if (!from) return false;
    segment.from = *from;
    const auto toText = dropSuffix(range.substr(dash + 1), "s");
    if (toText.empty()) return true;  // open end
    auto to = parseSeconds(toText);
    if (!to || *to <= *from) return false;
    segment.to = *to;
    return true;
}

bool parseValue(std::string_view word, FeedbackValues& values, std::string& error) {
    const auto eq = word.find('=');
    const auto key = toLower(word.substr(0, eq));
    auto number = eq == std::string_view::npos ? std::nullopt
                                               : parseUnsigned(dropSuffix(word.substr(eq + 1), "ms"), 65535);
    if (!number || (key != "rtt" && key != "decode")) {
        error = "expected rtt=MS or decode=MS (0-65535), got '" + std::string(word) + "'";
        return false;
    }
    (key == "rtt" ? values.rttMs : values.decodeMs) = static_cast<std::uint16_t>(*number);
    return true;
}

bool parseSegment(std::string_view text, FeedbackSchedule::Segment& segment, std::string& error) {
    auto words = split(trim(text), " \t");
    std::erase_if(words, [](std::string_view w) { return w.empty(); });
    if (words.empty() || !parseRange(words[0], segment)) {
        error = "expected FROM-TO (seconds, TO may be left out) at the start of '" + std::string(trim(text)) + "'";
        return false;
    }
    if (words.size() == 1) {
        error = "segment '" + std::string(trim(text)) + "' sets no value";
        return false;
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (!parseValue(words[i], segment.values, error)) return false;
    }
    return true;
}

}  // namespace

std::optional<FeedbackSchedule> FeedbackSchedule::parse(std::string_view text, std::string& error) {
    FeedbackSchedule schedule;
    for (auto piece : split(text, ",;")) {
        if (trim(piece).empty()) continue;
        Segment segment;
        if (!parseSegment(piece, segment, error)) return std::nullopt;
        schedule.segments_.push_back(segment);
    }
    if (schedule.segments_.empty()) {
        error = "the feedback schedule is empty";
        return std::nullopt;
    }
    return schedule;
}

FeedbackValues FeedbackSchedule::at(double seconds) const {
    for (const auto& segment : segments_) {
        if (seconds >= segment.from && seconds < segment.to) return segment.values;
    }
    return {};
}

}  // namespace lumivane::client
