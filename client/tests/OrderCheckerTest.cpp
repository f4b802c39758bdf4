#include "OrderChecker.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

using V = OrderChecker::Verdict;

TEST(OrderCheckerTest, AKeyframeNeedsAConfigOfItsStreamAndSize) {
    OrderChecker order;
    EXPECT_EQ(order.onKeyframe(1, PictureSize{320, 240}), V::Pending);
    order.onConfig(2, {320, 240});
    EXPECT_TRUE(order.hasPending()) << "another stream's config settles nothing";
    order.onConfig(1, {320, 240});
    EXPECT_FALSE(order.hasPending()) << "the config arrived after all";
    EXPECT_EQ(order.onKeyframe(1, PictureSize{320, 240}), V::InOrder);
    EXPECT_EQ(order.onKeyframe(1, std::nullopt), V::InOrder) << "undecodable: presence is all we can check";
    EXPECT_EQ(order.onKeyframe(1, PictureSize{400, 304}), V::Pending) << "new size, old config";
    const auto violations = order.takeUnresolved();
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_EQ(violations[0], "stream 1: keyframe of 400x304 arrived before its stream_config (last one said 320x240)");
    EXPECT_FALSE(order.hasPending());
    EXPECT_TRUE(order.takeUnresolved().empty());
}

TEST(OrderCheckerTest, ConfigAndPictureSizesCompareByMacroblocks) {
    OrderChecker order;
    order.onConfig(1, {1920, 1088});
    EXPECT_EQ(order.onKeyframe(1, PictureSize{1920, 1080}), V::InOrder) << "cropped inside the last macroblock";
    EXPECT_EQ(order.onKeyframe(1, PictureSize{1920, 1070}), V::Pending);
}

TEST(OrderCheckerTest, UnresolvedKeyframesWithoutAnyConfigSaySo) {
    OrderChecker order;
    order.onKeyframe(3, std::nullopt);
    order.onKeyframe(3, PictureSize{64, 64});
    const auto violations = order.takeUnresolved();
    ASSERT_EQ(violations.size(), 2u);
    EXPECT_EQ(violations[0], "stream 3: keyframe arrived before any stream_config");
    EXPECT_EQ(violations[1], "stream 3: keyframe of 64x64 arrived before any stream_config");
}

}  // namespace
}  // namespace lumivane::client
