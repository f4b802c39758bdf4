#include "WindowList.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

WindowList listOf(const nlohmann::json& windows) {
    std::string error;
    auto list = WindowList::fromMessage({{"type", "window_list"}, {"windows", windows}}, error);
    EXPECT_TRUE(list) << error;
    return list.value_or(WindowList{});
}

TEST(WindowListTest, ReadsWindowsAndToleratesMissingOrMistypedKeys) {
    auto list = listOf({{{"id", 42}, {"title", "Ed"}, {"width", 100}, {"isVisible", true}, {"iconBase64", "aGk="}},
                        {{"id", "7"}, {"title", nullptr}}});
    ASSERT_EQ(list.windows().size(), 2u);
    EXPECT_EQ(list.windows()[0].id, 42u);
    EXPECT_EQ(list.windows()[0].width, 100);
    EXPECT_TRUE(list.windows()[0].isVisible);
    EXPECT_EQ(list.windows()[1].id, 0u);
    EXPECT_EQ(list.windows()[1].title, "");

    std::string error;
    EXPECT_FALSE(WindowList::fromMessage({{"type", "window_list"}}, error));
    EXPECT_FALSE(WindowList::fromMessage({{"windows", {1, 2}}}, error));
}

TEST(WindowListTest, FloatsAreCutAndOnesNoFieldCanHoldReadAsZero) {
    auto list = listOf({{{"id", 4294967295.5}, {"x", 3e108}, {"y", -2147483648.9}, {"width", -5e20}, {"height", 12.7}}});
    ASSERT_EQ(list.windows().size(), 1u);
    const auto& w = list.windows()[0];
    EXPECT_EQ(w.id, 4294967295u);
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.y, -2147483647 - 1);
    EXPECT_EQ(w.width, 0);
    EXPECT_EQ(w.height, 12);
}

TEST(WindowListTest, TitleMatchPrefersExactThenTheOneContainingTheText) {
    auto list = listOf({{{"id", 1}, {"title", "Terminal"}},
                        {{"id", 2}, {"title", "Terminal - build"}},
                        {{"id", 3}, {"title", "Notes"}}});
    std::string error;
    EXPECT_EQ(list.findByTitle("Terminal", error)->id, 1u) << "exact wins over the longer match";
    EXPECT_EQ(list.findByTitle("BUILD", error)->id, 2u) << "ASCII case ignored";
    EXPECT_EQ(list.findByTitle("note", error)->id, 3u);
    EXPECT_EQ(list.findByTitle("termin", error), nullptr);
    EXPECT_NE(error.find("matches 2 windows: 1 \"Terminal\", 2 \"Terminal - build\""), std::string::npos) << error;
    EXPECT_EQ(list.findByTitle("browser", error), nullptr);
    EXPECT_NE(error.find("no window title contains"), std::string::npos);
    EXPECT_EQ(list.findById(3, error)->title, "Notes");
    EXPECT_EQ(list.findById(4, error), nullptr);
}

}  // namespace
}  // namespace lumivane::client
