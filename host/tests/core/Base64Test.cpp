#include "core/Base64.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

std::string encode(const std::string& s) {
    return base64Encode(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(Base64, Rfc4648Vectors) {
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg==");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
}

TEST(Base64, RoundTripsEveryByteValueOnOneLine) {
    std::vector<std::uint8_t> all(256 * 3 + 1);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i * 7);
    const std::string text = base64Encode(all);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    auto back = base64Decode(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, all);
}

TEST(Base64, RejectsMalformedText) {
    EXPECT_FALSE(base64Decode("Zg="));
    EXPECT_FALSE(base64Decode("Zg=a"));
    EXPECT_FALSE(base64Decode("Z!=="));
    EXPECT_FALSE(base64Decode("Zg==Zg=="));
}

}  // namespace
}  // namespace lumivane::host
