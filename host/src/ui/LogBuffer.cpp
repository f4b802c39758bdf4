#include "ui/LogBuffer.h"

#include <spdlog/details/os.h>

#include <array>
#include <ctime>
#include <fmt/format.h>

namespace lumivane::host {

std::string_view logLevelTag(std::int32_t level) {
    static constexpr std::array<std::string_view, 6> tags{"[TRACE]", "[DEBUG]", "[INFO] ",
                                                          "[WARN] ", "[ERROR]", "[CRIT] "};
    if (level < 0 || level >= static_cast<std::int32_t>(tags.size())) return "[???]  ";
    return tags[static_cast<std::size_t>(level)];
}

ImVec4 logLevelColour(std::int32_t level) {
    switch (level) {
    case 0: return {0.50f, 0.50f, 0.50f, 1.0f};
    case 1: return {0.60f, 0.60f, 0.60f, 1.0f};
    case 2: return {0.40f, 0.80f, 0.40f, 1.0f};
    case 3: return {1.00f, 0.80f, 0.20f, 1.0f};
    case 4: return {1.00f, 0.40f, 0.40f, 1.0f};
    case 5: return {1.00f, 0.20f, 0.20f, 1.0f};
    default: return {0.65f, 0.65f, 0.75f, 1.0f};
    }
}

bool passesLogFilter(std::int32_t level, std::int32_t filter) { return filter <= 0 || level >= filter; }

std::string fullLogLine(const LogEntry& entry) {
    std::string line;
    line.reserve(entry.timestamp.size() + entry.message.size() + 9);
    line.append(entry.timestamp).append(" ").append(logLevelTag(entry.level)).append(" ").append(entry.message);
    return line;
}

// Milliseconds are zero-padded: "12:00:01.7" would read as 700 ms.
std::string formatLogTimestamp(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const std::tm local = spdlog::details::os::localtime(seconds);
    const auto sinceEpoch = time.time_since_epoch();
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch) -
                        std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    std::array<char, 16> clock{};
    std::strftime(clock.data(), clock.size(), "%H:%M:%S", &local);
    return fmt::format("{}.{:03}", clock.data(), millis.count());
}

void LogBuffer::add(std::int32_t level, const std::string& line) {
    add(LogEntry{level, formatLogTimestamp(std::chrono::system_clock::now()), line});
}

void LogBuffer::add(LogEntry entry) {
    std::string& text = entry.message;
    if (text.size() > maxLineBytes) {
        std::size_t cut = maxLineBytes - 3;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        text.resize(cut);
        text.append("...");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ += text.size();
    entries_.push_back(std::move(entry));
    // Oldest first until both bounds hold; the newest line always stays.
    std::size_t drop = 0;
    while (drop + 1 < entries_.size() && (entries_.size() - drop > capacity || bytes_ > maxBytes))
        bytes_ -= entries_[drop++].message.size();
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(drop));
    added_.fetch_add(1, std::memory_order_relaxed);
}

void LogBuffer::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    bytes_ = 0;
    added_.fetch_add(1, std::memory_order_relaxed);
}

std::string LogBuffer::copyAll() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const LogEntry& entry : entries_) text.append(fullLogLine(entry)).append("\n");
    return text;
}

std::vector<LogEntry> LogBuffer::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

}  // namespace lumivane::host
