#include "core/Loggable.h"
#include "core/RateLimit.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;

TEST(LoggableTest, PeerTextCannotForgeLinesOrFillTheLog) {
    EXPECT_EQ(loggable("Quest 3"), "Quest 3");
    EXPECT_EQ(loggable("a\nfake [error] line\r\x1b[31m"), "a\\x0afake [error] line\\x0d\\x1b[31m");
    EXPECT_EQ(loggable("back\\slash"), "back\\\\slash");
    EXPECT_EQ(loggable("caf\xc3\xa9 \xff\xc3"), "caf\xc3\xa9 \\xff\\xc3") << "valid UTF-8 kept, broken bytes escaped";
    EXPECT_EQ(loggable("\xc0\xaf"), "\\xc0\\xaf") << "overlong form";
    EXPECT_EQ(loggable(std::string(1 << 20, 'x')).size(), kMaxLoggedPeerBytes + 3);
    // Never cut inside a character.
    EXPECT_EQ(loggable("ab\xc3\xa9", 3), "ab...");
    EXPECT_EQ(loggable("abc", 3), "abc");
}

TEST(RateLimitTest, OneEventPerIntervalCountingTheRest) {
    RateLimit limit(1s);
    const auto t0 = RateLimit::Clock::now();
    EXPECT_EQ(limit.allow(t0), 0u);
    EXPECT_FALSE(limit.allow(t0 + 10ms));
    EXPECT_FALSE(limit.allow(t0 + 999ms));
    EXPECT_EQ(limit.allow(t0 + 1s), 2u);
    EXPECT_EQ(limit.allow(t0 + 3s), 0u);
}

}  // namespace
}  // namespace lumivane::host
