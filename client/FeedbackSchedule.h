#pragma once
// Feedback values that change over the run, so a test can drive congestion and recovery:
// "0-5s rtt=80, 5-20s rtt=5 decode=3, 20- rtt=1". Times are seconds since stream_started.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane::client {

struct FeedbackValues {
    std::optional<std::uint16_t> decodeMs;
    std::optional<std::uint16_t> rttMs;
};

class FeedbackSchedule {
public:
    struct Segment {
        double from = 0;
        double to = std::numeric_limits<double>::infinity();  // exclusive
        FeedbackValues values;
    };

    // Empty optional and `error` set when the text does not follow the grammar.
    static std::optional<FeedbackSchedule> parse(std::string_view text, std::string& error);

    // The first segment holding `seconds` wins; fields it leaves out stay empty.
    FeedbackValues at(double seconds) const;
    bool empty() const { return segments_.empty(); }
    const std::vector<Segment>& segments() const { return segments_; }

private:
    std::vector<Segment> segments_;
};

}  // namespace lumivane::client
