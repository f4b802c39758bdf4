#include "core/Logging.h"
#include "core/StateFolder.h"

#include "fakes/Environment.h"
#include "fakes/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumivane::host {
namespace {

namespace fs = std::filesystem;

// A private folder and private values for the variables that choose the log folder.
class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVars) unsetEnvironmentVariable(name);
        root_ = fs::temp_directory_path() /
                ("lv_logging_" + std::to_string(currentProcessId()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        shutdownLogging();
        fs::remove_all(root_);
    }

    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // "[YYYY-MM-DD HH:MM:SS.mmm] " + middle + thread id + tail, as one whole line.
    static bool hasFileLine(const std::string& text, const std::string& middle, const std::string& tail) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows ends lines with CR LF
            if (line.size() < 26 || line[0] != '[' || line.compare(24, 2, "] ") != 0) continue;
            if (line[5] != '-' || line[11] != ' ' || line[20] != '.') continue;
            if (line.compare(26, middle.size(), middle) != 0) continue;
            const std::size_t id = 26 + middle.size();
            const std::size_t digits = line.find_first_not_of("0123456789", id);
            if (digits > id && digits != std::string::npos && line.substr(digits) == tail) return true;
        }
        return false;
    }
    static int count(const std::string& text, const std::string& needle) {
        int n = 0;
        for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++n;
        return n;
    }

    static constexpr const char* kVars[] = {"LOCALAPPDATA", "XDG_STATE_HOME", "HOME"};
    SavedEnvironment saved_{{"LOCALAPPDATA", "XDG_STATE_HOME", "HOME"}};
    fs::path root_;
};

TEST_F(LoggingTest, FileIsFlushedOnWarningsOnly) {
    setEnvironmentVariable("LOCALAPPDATA", root_.string());
    initLogging("LumivaneTest", true, spdlog::level::info);
    const fs::path file = root_ / "Lumivane" / "logs" / "LumivaneTest.log";
    ASSERT_TRUE(fs::exists(file));

    LV_DEBUG("below the logger level");
    LV_INFO("buffered {}", 1);
    EXPECT_EQ(read(file).find("buffered 1"), std::string::npos);
    LV_WARN("a warning");
    const std::string text = read(file);
    EXPECT_EQ(text.find("below the logger level"), std::string::npos);
    EXPECT_TRUE(hasFileLine(text, "[info] [LumivaneTest] [", "] buffered 1")) << text;
    EXPECT_NE(text.find("[warning] [LumivaneTest]"), std::string::npos) << text;
}

TEST_F(LoggingTest, SecondInitializationChangesNothing) {
    setEnvironmentVariable("LOCALAPPDATA", root_.string());
    initLogging("LumivaneTest", true, spdlog::level::info);
    spdlog::logger* first = spdlog::default_logger_raw();
    initLogging("Other", true, spdlog::level::trace);
    EXPECT_EQ(spdlog::default_logger_raw(), first);
    EXPECT_EQ(first->name(), "LumivaneTest");
    shutdownLogging();
    EXPECT_EQ(spdlog::default_logger_raw(), nullptr);
    LV_INFO("after shutdown, dropped quietly");

    const std::string text = read(root_ / "Lumivane" / "logs" / "LumivaneTest.log");
    EXPECT_EQ(count(text, "Logging initialized for"), 1) << text;
    EXPECT_EQ(count(text, "Shutting down logging"), 1) << text;
    EXPECT_FALSE(fs::exists(root_ / "Lumivane" / "logs" / "Other.log"));
}

TEST_F(LoggingTest, UnusableFolderFallsBackToTheConsole) {
    std::ofstream(root_ / "Lumivane") << "a file where the folder should be";
    setEnvironmentVariable("LOCALAPPDATA", root_.string());
    {
        LogCapture early;  // stands in for the library's own default logger
        initLogging("LumivaneTest", true, spdlog::level::info);
        EXPECT_TRUE(early.contains("Failed to create file logger: ")) << early.text();
        EXPECT_EQ(spdlog::default_logger_raw()->sinks().size(), 1u);
        shutdownLogging();
    }
}

TEST_F(LoggingTest, FolderFallbacks) {
    if (platformStateFolder().empty()) {
        EXPECT_EQ(logDirectory(), "logs");
    }
    setEnvironmentVariable("LOCALAPPDATA", "/local");
    EXPECT_EQ(logDirectory(), (fs::path("/local") / "Lumivane" / "logs").string());
}

TEST_F(LoggingTest, UiSinkDropsOneTrailingNewline) {
    auto sink = std::make_shared<UISinkMt>();
    spdlog::logger logger("ui", sink);
    logger.info("no callback yet");  // must not throw

    std::vector<std::pair<int, std::string>> got;
    sink->setCallback([&](int level, const std::string& line) { got.emplace_back(level, line); });
    sink->set_pattern("%v");
    logger.info("one");
    logger.warn("two\n");
    logger.error("three\n\n");
    const std::vector<std::pair<int, std::string>> expected{{2, "one"}, {3, "two\n"}, {4, "three\n\n"}};
    EXPECT_EQ(got, expected);
}

TEST_F(LoggingTest, UiSinkDefaultPatternShowsTheCallSite) {
    setEnvironmentVariable("LOCALAPPDATA", root_.string());
    initLogging("LumivaneTest", false, spdlog::level::info);
    auto sink = std::make_shared<UISinkMt>();
    std::string line;
    sink->setCallback([&](int, const std::string& l) { line = l; });
    addLogSink(sink);
    LV_INFO("where am I");
    const int expectedLine = __LINE__ - 1;
    EXPECT_NE(line.find("[LoggingTest.cpp:" + std::to_string(expectedLine) + "] where am I"), std::string::npos)
        << line;
    EXPECT_NE(line.find("[LumivaneTest] [info]"), std::string::npos) << line;
    EXPECT_FALSE(fs::exists(root_ / "Lumivane"));  // no file logging asked for
    sink->setCallback({});  // the logger outlives line
}

}  // namespace
}  // namespace lumivane::host
