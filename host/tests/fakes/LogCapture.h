#pragma once
// Routes the default logger into memory for one test and restores the previous one.

#include "core/Logging.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumivane::host {

class LogCapture {
public:
    struct Line {
        int level;
        std::string text;
    };

    LogCapture() : previous_(spdlog::default_logger()), sink_(std::make_shared<UISinkMt>()) {
        sink_->set_pattern("%v");
        sink_->setCallback([this](int level, const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);  // taken inside the sink's mutex
            lines_.push_back({level, line});
        });
        auto logger = std::make_shared<spdlog::logger>("test", sink_);
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
    }
    ~LogCapture() { spdlog::set_default_logger(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // All lines, one a line, for failure messages and substring checks.
    std::string text() const {
        std::string all;
        for (const Line& l : lines()) all += l.text + "\n";
        return all;
    }
    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

private:
    std::shared_ptr<spdlog::logger> previous_;
    std::shared_ptr<UISinkMt> sink_;
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

}  // namespace lumivane::host
