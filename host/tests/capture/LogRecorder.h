#pragma once
// Records every log line (message text only) while alive.

#include "core/Logging.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <string>
#include <vector>

namespace lumivane::host {

class LogRecorder {
public:
    struct Line {
        int level;
        std::string text;
    };

    LogRecorder() {
        sink().setCallback([this](int level, const std::string& text) {
            std::lock_guard lock(mutex_);
            lines_.push_back({level, text});
            changed_.notify_all();
        });
    }
    // Under the sink's lock, so no capture thread is inside the callback afterwards.
    ~LogRecorder() { sink().setCallback(nullptr); }

    std::vector<Line> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& line : lines()) out.push_back(line.text);
        return out;
    }
    bool has(const std::string& text) const { return indexOf(text) >= 0; }
    int indexOf(const std::string& text) const {
        auto all = texts();
        auto it = std::find(all.begin(), all.end(), text);
        return it == all.end() ? -1 : int(it - all.begin());
    }
    int countAtLeast(int level) const {
        int n = 0;
        for (const auto& line : lines()) n += line.level >= level;
        return n;
    }
    bool waitFor(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(20)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            return std::any_of(lines_.begin(), lines_.end(), [&](const Line& l) { return l.text == text; });
        });
    }

private:
    // One sink for the whole run: changing the logger's sink list while capture threads
    // log would race.
    static UISinkMt& sink() {
        static std::shared_ptr<UISinkMt> shared = [] {
            auto created = std::make_shared<UISinkMt>();
            created->set_pattern("%v");
            spdlog::default_logger()->sinks().push_back(created);
            spdlog::default_logger()->set_level(spdlog::level::trace);
            return created;
        }();
        return *shared;
    }


    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Line> lines_;
};

}  // namespace lumivane::host
