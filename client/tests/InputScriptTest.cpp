#include "InputScript.h"
#include "InputTranslator.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

using K = InputCommand::Kind;

InputScript parsed(const std::string& text) {
    std::string error;
    auto script = InputScript::parse(text, error);
    EXPECT_TRUE(script) << error;
    return script.value_or(InputScript{});
}

std::string errorOf(const std::string& text) {
    std::string error;
    EXPECT_FALSE(InputScript::parse(text, error)) << text;
    return error;
}

TEST(InputScriptTest, StatementsSplitAtNewLinesAndSemicolonsButNotInsideQuotes) {
    auto script = parsed("# opening comment\nmove 10 20; click\n\ntype \"a;b # not a comment \\\"q\\\"\"  # trailing\nwait 5");
    const auto& c = script.commands();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].kind, K::Move);
    EXPECT_EQ(c[0].line, 2);
    EXPECT_EQ(c[1].kind, K::Click);
    EXPECT_EQ(c[1].line, 2);
    EXPECT_EQ(c[2].text, u"a;b # not a comment \"q\"");
    EXPECT_EQ(c[2].line, 4);
    EXPECT_EQ(c[3].waitMs, 5u);
}

TEST(InputScriptTest, KeysButtonsAndCoordinatesAcceptTheirSpellings) {
    auto c = parsed("key ctrl+shift+T; key 0x41; key enter; key f12; key ALT+F4; click x2; down middle; up 1;"
                    " move 25% 100%; wheel -120")
                 .commands();
    ASSERT_EQ(c.size(), 10u);
    EXPECT_EQ(c[0].keyCode, 'T');
    EXPECT_EQ(c[0].modifiers, 3);
    EXPECT_EQ(c[1].keyCode, 0x41);
    EXPECT_EQ(c[2].keyCode, 13);
    EXPECT_EQ(c[3].keyCode, 123);
    EXPECT_EQ(c[4].keyCode, 115);
    EXPECT_EQ(c[4].modifiers, 4);
    EXPECT_EQ(c[5].button, 4);
    EXPECT_EQ(c[6].button, 2);
    EXPECT_EQ(c[7].button, 1);
    EXPECT_TRUE(c[8].x.percent);
    EXPECT_EQ(c[8].y.value, 100);
    EXPECT_EQ(c[9].wheelDelta, -120);
}

TEST(InputScriptTest, MistakesNameTheirLineAndTheExpectedForm) {
    EXPECT_EQ(errorOf("move 1 2\njump 3"), "line 2: unknown command 'jump'");
    EXPECT_NE(errorOf("move 10").find("line 1: expected move X Y"), std::string::npos);
    EXPECT_NE(errorOf("move 101% 5").find("expected move"), std::string::npos);
    EXPECT_NE(errorOf("move -1 5").find("expected move"), std::string::npos);
    EXPECT_NE(errorOf("key hyper+a").find("expected key"), std::string::npos);
    EXPECT_NE(errorOf("key 256").find("expected key"), std::string::npos);
    EXPECT_NE(errorOf("click 5").find("expected click"), std::string::npos);
    EXPECT_NE(errorOf("wheel 40000").find("expected wheel"), std::string::npos);
    EXPECT_NE(errorOf("wait 1 2").find("expected wait"), std::string::npos);
    EXPECT_NE(errorOf("type \"\"").find("expected type"), std::string::npos);
    EXPECT_NE(errorOf("type \"bad \\n escape\"").find("expected type"), std::string::npos);
    EXPECT_EQ(errorOf("click\ntype \"open\nmove 1 1"), "line 2: unterminated quote");
    EXPECT_NE(errorOf("type \"\xC3\"").find("expected type"), std::string::npos) << "broken UTF-8";
}

TEST(InputScriptTest, Utf8BecomesUtf16WithSurrogatePairsAndRejectsMalformedInput) {
    std::u16string out;
    ASSERT_TRUE(utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", out));
    EXPECT_EQ(out, (std::u16string{u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80"}) {
        std::u16string ignored;
        EXPECT_FALSE(utf8ToUtf16(bad, ignored)) << "overlong, surrogate, beyond U+10FFFF, cut short or stray";
    }
}

// The host maps x back as left + width * x / 65535, truncating.
TEST(InputTranslatorTest, PixelPositionsLandOnThatPixelOnTheHost) {
    for (std::int32_t width : {1, 7, 640, 1366, 1920, 3840}) {
        for (std::int32_t pixel : {0, 1, width / 3, width / 2, width - 1, width}) {
            const auto x = InputTranslator::normalise({static_cast<double>(pixel), false}, width);
            EXPECT_EQ(width * x / 65535, pixel) << width << " " << pixel;
        }
    }
    EXPECT_EQ(InputTranslator::normalise({5000, false}, 640), 65535) << "beyond the window clamps to its edge";
    EXPECT_EQ(InputTranslator::normalise({50, true}, 640), 32768);
    EXPECT_EQ(InputTranslator::normalise({100, true}, 640), 65535);
}

TEST(InputTranslatorTest, CommandsBecomeRecordsAtThePointer) {
    InputTranslator t(7, 800, 600);
    auto script = parsed("click; move 400 300; down right; key shift+a; type \"\xF0\x9F\x98\x80\"; wait 10");
    std::vector<host::InputEvent> all;
    for (const auto& c : script.commands()) {
        auto events = t.translate(c);
        all.insert(all.end(), events.begin(), events.end());
    }
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0].x, 32768) << "before any move, clicks land in the centre";
    EXPECT_EQ(all[0].action, 2);
    EXPECT_EQ(all[1].action, 3);
    EXPECT_EQ(all[3].action, 2);
    EXPECT_EQ(all[3].code, 1);
    EXPECT_EQ(all[3].x, all[2].x);
    EXPECT_EQ(all[4].modifiers, 1);
    EXPECT_EQ(all[5].modifiers, 0) << "the release lets the host drop the modifier again";
    EXPECT_EQ(all[6].x, 0xD83D);
    EXPECT_EQ(all[7].x, 0xDE00);
    for (const auto& e : all) EXPECT_EQ(e.streamId, 7);
}

TEST(InputTranslatorTest, TheVideoLayoutCarriesOnlyEightBitCharacters) {
    InputTranslator t(1, 100, 100);
    auto events = t.translate(parsed("type \"\xC3\xA9\xE2\x82\xAC\"").commands()[0]);
    host::ClientInput record;
    ASSERT_TRUE(toClientInput(events[0], record));
    EXPECT_EQ(record.code, 0xE9);
    EXPECT_EQ(record.x, 0);
    EXPECT_FALSE(toClientInput(events[1], record));
}

}  // namespace
}  // namespace lumivane::client
