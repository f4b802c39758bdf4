#pragma once
// The dashboard's bounded log: fed by every logging thread, read by the Logs page.

#include <imgui.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane::host {

struct LogEntry {
    std::int32_t level = 2;  // 0 trace ... 5 critical
    std::string timestamp;   // local time, "HH:MM:SS.mmm"
    std::string message;     // the line as the UI sink formatted it
};

// Seven characters, padded with spaces: "[INFO] ", "[ERROR]", "[???]  " for unknown levels.
std::string_view logLevelTag(std::int32_t level);
ImVec4 logLevelColour(std::int32_t level);
// Index of the "All", "Debug+", "Info+", "Warn+", "Error+" filter.
bool passesLogFilter(std::int32_t level, std::int32_t filter);
// Timestamp, space, tag, space, message: what a click on a row copies.
std::string fullLogLine(const LogEntry& entry);
std::string formatLogTimestamp(std::chrono::system_clock::time_point time);

class LogBuffer {
public:
    static constexpr std::size_t capacity = 1000;
    // The entries' text together: a thousand long lines must not cost the dashboard
    // hundreds of megabytes.
    static constexpr std::size_t maxBytes = 1024 * 1024;
    // Longer lines are cut (ending in "..."): no one reads further on the Logs page.
    static constexpr std::size_t maxLineBytes = 4096;

    // Any thread. Called inside the UI sink's lock; takes the buffer's lock after it.
    void add(std::int32_t level, const std::string& line);
    void add(LogEntry entry);
    void clear();
    // Every entry regardless of the filter, one full line each, newline-terminated.
    std::string copyAll() const;
    std::vector<LogEntry> snapshot() const;
    // Lines added so far, the dropped and cleared ones included: a change shows as a new
    // value. Any thread.
    std::uint64_t added() const { return added_.load(std::memory_order_relaxed); }

    // Runs `visit` on the entries with the lock held, so a frame draws without copying.
    // `visit` must not log: logging takes this lock again.
    template <typename Visit>
    void visit(Visit&& visit) const {
        std::lock_guard<std::mutex> lock(mutex_);
        visit(entries_);
    }

private:
    mutable std::mutex mutex_;
    std::vector<LogEntry> entries_;
    std::size_t bytes_ = 0;  // the message bytes of entries_
    std::atomic<std::uint64_t> added_{0};
};

}  // namespace lumivane::host
