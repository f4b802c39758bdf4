#include "ui/LogBuffer.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <thread>
#include <vector>

namespace lumivane::host {
namespace {

TEST(LogBufferTest, TagsArePaddedToSevenCharacters) {
    const std::string_view expected[] = {"[TRACE]", "[DEBUG]", "[INFO] ", "[WARN] ", "[ERROR]", "[CRIT] "};
    for (int level = 0; level < 6; ++level) EXPECT_EQ(logLevelTag(level), expected[level]);
    EXPECT_EQ(logLevelTag(6), "[???]  ");
    EXPECT_EQ(logLevelTag(-1), "[???]  ");
}

TEST(LogBufferTest, FilterShowsTheChosenLevelAndAboveAndOnlyAllShowsTrace) {
    struct Case {
        int filter;
        std::vector<int> shown;
    };
    const Case cases[] = {{0, {0, 1, 2, 3, 4, 5}}, {1, {1, 2, 3, 4, 5}}, {3, {3, 4, 5}}, {4, {4, 5}}, {-2, {0, 1, 2, 3, 4, 5}}};
    for (const Case& c : cases) {
        std::vector<int> shown;
        for (int level = 0; level < 6; ++level)
            if (passesLogFilter(level, c.filter)) shown.push_back(level);
        EXPECT_EQ(shown, c.shown) << "filter " << c.filter;
    }
}

TEST(LogBufferTest, FullLineOfAnInfoEntryHasTwoSpacesAfterTheTag) {
    EXPECT_EQ(fullLogLine({2, "09:15:02.045", "Client connected"}), "09:15:02.045 [INFO]  Client connected");
    EXPECT_EQ(fullLogLine({4, "09:15:02.045", "x"}), "09:15:02.045 [ERROR] x");
}

TEST(LogBufferTest, TimestampIsLocalTimeWithThreeDigitMilliseconds) {
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 9;
    local.tm_min = 15;
    local.tm_sec = 2;
    local.tm_isdst = -1;
    const auto second = std::chrono::system_clock::from_time_t(std::mktime(&local));
    EXPECT_EQ(formatLogTimestamp(second + std::chrono::milliseconds(45)), "09:15:02.045");
    EXPECT_EQ(formatLogTimestamp(second + std::chrono::milliseconds(7)), "09:15:02.007");
    EXPECT_EQ(formatLogTimestamp(second + std::chrono::milliseconds(999)), "09:15:02.999");
}

TEST(LogBufferTest, ThousandAndFirstEntryPushesOutTheFirst) {
    LogBuffer buffer;
    for (int i = 1; i <= 1001; ++i) buffer.add(2, "line " + std::to_string(i));
    const std::vector<LogEntry> entries = buffer.snapshot();
    ASSERT_EQ(entries.size(), 1000u);
    EXPECT_EQ(entries.front().message, "line 2");
    EXPECT_EQ(entries.back().message, "line 1001");
    EXPECT_TRUE(std::regex_match(entries.back().timestamp, std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d)")))
        << entries.back().timestamp;
}

TEST(LogBufferTest, LongLinesAreCutOnACharacterAndTheTextIsBoundedInBytes) {
    LogBuffer buffer;
    // 4092 ASCII bytes, then a two-byte character that a cut at 4093 would split.
    buffer.add(2, std::string(4092, 'a') + "\u00e9" + std::string(10000, 'b'));
    EXPECT_EQ(buffer.snapshot().back().message, std::string(4092, 'a') + "...");
    const std::string line(3000, 'x');
    for (int i = 0; i < 1000; ++i) buffer.add(2, line + std::to_string(i));
    const std::vector<LogEntry> entries = buffer.snapshot();
    std::size_t bytes = 0;
    for (const LogEntry& entry : entries) bytes += entry.message.size();
    EXPECT_LE(bytes, LogBuffer::maxBytes);
    EXPECT_GT(bytes, LogBuffer::maxBytes - 3010) << "only as many as needed are dropped";
    EXPECT_EQ(entries.back().message, line + "999");
    buffer.clear();
    for (int i = 0; i < 1000; ++i) buffer.add(2, "short");
    EXPECT_EQ(buffer.snapshot().size(), 1000u) << "clear forgets the bytes too";
}

TEST(LogBufferTest, CopyAllTakesEveryEntryInOrderAndClearEmpties) {
    LogBuffer buffer;
    buffer.add({2, "10:00:00.001", "info line"});
    buffer.add({0, "10:00:00.002", "trace line"});
    buffer.add({9, "10:00:00.003", "odd level"});
    EXPECT_EQ(buffer.copyAll(),
              "10:00:00.001 [INFO]  info line\n"
              "10:00:00.002 [TRACE] trace line\n"
              "10:00:00.003 [???]   odd level\n");
    buffer.clear();
    EXPECT_EQ(buffer.copyAll(), "");
    EXPECT_TRUE(buffer.snapshot().empty());
}

TEST(LogBufferTest, ManyWritersAndAReaderKeepTheBoundAndEveryWritersOrder) {
    LogBuffer buffer;
    constexpr int writers = 4;
    constexpr int perWriter = 600;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&buffer, w] {
            for (int i = 0; i < perWriter; ++i) buffer.add(2, std::to_string(w) + ":" + std::to_string(i));
        });
    }
    for (int i = 0; i < 50; ++i) buffer.visit([](const std::vector<LogEntry>& entries) { ASSERT_LE(entries.size(), 1000u); });
    for (std::thread& thread : threads) thread.join();

    const std::vector<LogEntry> entries = buffer.snapshot();
    ASSERT_EQ(entries.size(), 1000u);
    std::vector<int> last(writers, -1);
    for (const LogEntry& entry : entries) {
        const int writer = entry.message[0] - '0';
        const int index = std::stoi(entry.message.substr(2));
        EXPECT_GT(index, last[writer]);
        last[writer] = index;
    }
}

}  // namespace
}  // namespace lumivane::host
