#include "ui/TitleShortener.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

// Ten pixels per character (not per byte), so multi-byte characters count once.
float tenPerCharacter(std::string_view text) {
    float width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) width += 10;
    return width;
}

TEST(TitleShortenerTest, TitleThatFitsIsUnchanged) {
    EXPECT_EQ(shortenToFit("Terminal", 80, tenPerCharacter), "Terminal");
    EXPECT_EQ(shortenToFit("", 0, tenPerCharacter), "");
}

TEST(TitleShortenerTest, LongTitleKeepsTheLongestPrefixThatFitsWithEllipsis) {
    const std::string shortened = shortenToFit("Quarterly report - Spreadsheet", 100, tenPerCharacter);
    EXPECT_EQ(shortened, "Quarter...");
    EXPECT_LE(tenPerCharacter(shortened), 100);
}

TEST(TitleShortenerTest, NeverCutsInsideAMultiByteCharacter) {
    // "Ünïcødé" then an emoji: every cut must leave valid UTF-8.
    const std::string title = "\xC3\x9Cn\xC3\xAF" "c\xC3\xB8" "d\xC3\xA9 \xF0\x9F\x8E\xAC movie";
    for (float width = 30; width < 150; width += 10) {
        const std::string shortened = shortenToFit(title, width, tenPerCharacter);
        ASSERT_LE(tenPerCharacter(shortened), width) << shortened;
        const std::string prefix = shortened.substr(0, shortened.size() - 3);
        EXPECT_EQ(title.compare(0, prefix.size(), prefix), 0);
        ASSERT_TRUE(prefix.size() == title.size() || (static_cast<unsigned char>(title[prefix.size()]) & 0xC0) != 0x80)
            << "cut inside a character at byte " << prefix.size();
    }
}

TEST(TitleShortenerTest, NothingFitsLeavesOnlyTheEllipsis) {
    EXPECT_EQ(shortenToFit("Window", 5, tenPerCharacter), "...");
}

}  // namespace
}  // namespace lumivane::host
