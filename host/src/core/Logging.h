#pragma once
// Process-wide logging: one spdlog logger with console, rotating file and (later) UI sinks.
// Every call goes through the LV_* macros so the source location travels with it.

#include <spdlog/details/null_mutex.h>
#include <spdlog/details/os.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace lumivane::host {

void initLogging(const std::string& name, bool fileLogging, spdlog::level::level_enum level);
void shutdownLogging();
// Not locked: called once from the main thread during start-up.
void addLogSink(spdlog::sink_ptr sink);
// LOCALAPPDATA/Lumivane/logs, else the platform's state folder, else ./logs.
std::string logDirectory();

// Hands every formatted line (without its end of line) to a callback.
// The callback runs on the logging thread with the sink mutex held.
template <typename Mutex>
class UISink : public spdlog::sinks::base_sink<Mutex> {
public:
    using Callback = std::function<void(int level, const std::string& line)>;

    void setCallback(Callback callback) {
        std::lock_guard<Mutex> lock(this->mutex_);
        callback_ = std::move(callback);
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        if (!callback_) return;
        spdlog::memory_buf_t formatted;
        this->formatter_->format(msg, formatted);
        std::string line(formatted.data(), formatted.size());
        // The formatter ends the line with the platform's end of line ("\r\n" on Windows).
        const std::string_view eol = spdlog::details::os::default_eol;
        if (line.size() >= eol.size() && line.compare(line.size() - eol.size(), eol.size(), eol) == 0)
            line.resize(line.size() - eol.size());
        else if (!line.empty() && line.back() == '\n')
            line.pop_back();
        callback_(static_cast<int>(msg.level), line);
    }
    void flush_() override {}

private:
    Callback callback_;
};

using UISinkMt = UISink<std::mutex>;

}  // namespace lumivane::host

// Safe after shutdownLogging(), when the library has no default logger left.
#define LV_LOG_AT(level, ...) \
    do { \
        if (auto* lvLogger_ = ::spdlog::default_logger_raw()) \
            lvLogger_->log(::spdlog::source_loc{__FILE__, __LINE__, SPDLOG_FUNCTION}, level, __VA_ARGS__); \
    } while (0)
#define LV_TRACE(...) LV_LOG_AT(::spdlog::level::trace, __VA_ARGS__)
#define LV_DEBUG(...) LV_LOG_AT(::spdlog::level::debug, __VA_ARGS__)
#define LV_INFO(...) LV_LOG_AT(::spdlog::level::info, __VA_ARGS__)
#define LV_WARN(...) LV_LOG_AT(::spdlog::level::warn, __VA_ARGS__)
#define LV_ERROR(...) LV_LOG_AT(::spdlog::level::err, __VA_ARGS__)
#define LV_CRITICAL(...) LV_LOG_AT(::spdlog::level::critical, __VA_ARGS__)
