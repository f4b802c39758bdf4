#include "core/Logging.h"

#include "core/StateFolder.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace lumivane::host {
namespace {

std::shared_ptr<spdlog::logger> hostLogger;
bool loggingInitialized = false;

constexpr std::size_t kMaxFileSize = 5 * 1024 * 1024;
constexpr std::size_t kMaxFiles = 3;

std::filesystem::path envPath(const char* name) {
    const char* value = std::getenv(name);
    return (value && *value) ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

std::string logDirectory() {
    if (auto base = envPath("LOCALAPPDATA"); !base.empty()) return (base / "Lumivane" / "logs").string();
    if (auto state = platformStateFolder(); !state.empty()) return (state / "Lumivane" / "logs").string();
    return "logs";
}

void initLogging(const std::string& name, bool fileLogging, spdlog::level::level_enum level) {
    if (loggingInitialized) return;

    std::vector<spdlog::sink_ptr> sinks;
    auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
    console->set_level(level);
    console->set_pattern("[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] [%n] %v");
    sinks.push_back(console);

    if (fileLogging) {
        try {
            std::filesystem::path dir = logDirectory();
            std::filesystem::create_directories(dir);
            auto file = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
                (dir / (name + ".log")).string(), kMaxFileSize, kMaxFiles, false);
            file->set_level(spdlog::level::debug);
            file->set_pattern("[%Y-%m-%d %H:%M:%S.%e] [%l] [%n] [%t] %v");
            sinks.push_back(file);
        } catch (const std::exception& e) {
            LV_WARN("Failed to create file logger: {}", e.what());
        }
    }

    hostLogger = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
    hostLogger->set_level(level);
    hostLogger->flush_on(spdlog::level::warn);
    spdlog::set_default_logger(hostLogger);
    loggingInitialized = true;
    LV_INFO("Logging initialized for {}", name);
}

void shutdownLogging() {
    if (!loggingInitialized) return;
    LV_INFO("Shutting down logging");
    spdlog::shutdown();
    hostLogger.reset();
    loggingInitialized = false;
}

void addLogSink(spdlog::sink_ptr sink) {
    if (!hostLogger) return;
    hostLogger->sinks().push_back(std::move(sink));
}

}  // namespace lumivane::host
