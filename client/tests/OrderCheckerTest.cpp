#include "OrderChecker.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

using V = OrderChecker::Verdict;

TEST(OrderCheckerTest, AKeyframeNeedsAConfigOfItsStreamAndSize) {
    OrderChecker order;
    EXPECT_EQ(order.onKeyframe(1, PictureSize{320, 240}, false), V::Violation);
    order.onConfig(2, {320, 240});
    EXPECT_EQ(order.onKeyframe(1, PictureSize{320, 240}, false), V::Violation) << "another stream's config";
    order.onConfig(1, {320, 240});
    EXPECT_EQ(order.onKeyframe(1, PictureSize{320, 240}, false), V::InOrder);
    EXPECT_EQ(order.onKeyframe(1, std::nullopt, false), V::InOrder) << "undecodable: presence is all we can check";
    EXPECT_EQ(order.onKeyframe(1, PictureSize{400, 304}, false), V::Violation) << "new size, old config";
    order.onConfig(1, {400, 304});
    EXPECT_EQ(order.onKeyframe(1, PictureSize{400, 304}, false), V::InOrder);
}

TEST(OrderCheckerTest, ConfigAndPictureSizesCompareByMacroblocks) {
    OrderChecker order;
    order.onConfig(1, {1280, 720});
    EXPECT_EQ(order.onKeyframe(1, PictureSize{1280, 720}, false), V::InOrder);
    order.onConfig(1, {1920, 1088});
    EXPECT_EQ(order.onKeyframe(1, PictureSize{1920, 1080}, false), V::InOrder) << "cropped inside the last macroblock";
    EXPECT_EQ(order.onKeyframe(1, PictureSize{1920, 1070}, false), V::Violation);
}

TEST(OrderCheckerTest, AKeyframeReadBeforeUnreadSignallingWaitsForIt) {
    OrderChecker order;
    EXPECT_EQ(order.onKeyframe(3, PictureSize{320, 240}, true), V::Pending);
    EXPECT_TRUE(order.hasPending());
    order.onConfig(3, {320, 240});
    EXPECT_FALSE(order.hasPending());
    EXPECT_TRUE(order.takeUnresolved().empty());

    EXPECT_EQ(order.onKeyframe(3, PictureSize{640, 480}, true), V::Pending);
    order.onConfig(4, {640, 480});
    const auto unresolved = order.takeUnresolved();
    ASSERT_EQ(unresolved.size(), 1u);
    EXPECT_EQ(unresolved[0], "stream 3: keyframe of 640x480 arrived before its stream_config (last one said 320x240)");
    EXPECT_FALSE(order.hasPending());
}

}  // namespace
}  // namespace lumivane::client
