#include "network/SignalingProtocol.h"

#include <gtest/gtest.h>

namespace lumivane::protocol {
namespace {

using nlohmann::json;

TEST(SignalingProtocol, RecognisesEveryTypeAndAliasExactly) {
    const std::pair<const char*, MessageType> known[] = {
        {"hello", MessageType::Hello},
        {"welcome", MessageType::Welcome},
        {"window_list_request", MessageType::WindowListRequest},
        {"window_list", MessageType::WindowList},
        {"stream_start", MessageType::StreamStart},
        {"stream_subscribe", MessageType::StreamStart},
        {"stream_started", MessageType::StreamStarted},
        {"stream_stop", MessageType::StreamStop},
        {"stream_unsubscribe", MessageType::StreamStop},
        {"request_keyframe", MessageType::RequestKeyframe},
        {"keyframe_request", MessageType::RequestKeyframe},
        {"window_resize", MessageType::WindowResize},
        {"window_resized", MessageType::WindowResized},
        {"error", MessageType::Error},
        {"ping", MessageType::Ping},
        {"pong", MessageType::Pong},
    };
    for (const auto& [name, type] : known) EXPECT_EQ(parseMessageType(json{{"type", name}}), type) << name;
    EXPECT_FALSE(parseMessageType(json{{"type", "PING"}}));
    EXPECT_FALSE(parseMessageType(json{{"type", "stream_stopped"}}));
    EXPECT_FALSE(parseMessageType(json::array({"hello"})));
    EXPECT_FALSE(parseMessageType(json{{"kind", "hello"}}));
    EXPECT_THROW(parseMessageType(json{{"type", 1}}), json::type_error);
}

TEST(SignalingProtocol, SerialisesCompactSortedRawUtf8AndReplacesBrokenText) {
    WindowInfo w;
    w.title = "caf\xc3\xa9 \xe2\x82\xac";
    EXPECT_NE(serialize(json(w)).find("\"title\":\"caf\xc3\xa9 \xe2\x82\xac\""), std::string::npos);
    // A truncated sequence and a stray continuation byte each become U+FFFD.
    w.title = "a\xe2\x82" "b\x80";
    EXPECT_NE(serialize(json(w)).find("\"title\":\"a\xef\xbf\xbd" "b\xef\xbf\xbd\""), std::string::npos);
    EXPECT_EQ(serialize(json{{"b", 1}, {"a", "x y"}, {"C", true}}), R"({"C":true,"a":"x y","b":1})");
}

TEST(SignalingProtocol, ReadsIntegersWithDefaultsAndLowBits) {
    const json m = json::parse(R"({"big":4294967297,"neg":-1,"f":-2.7,"t":true,"s":"1","n":null,"inf":1e19})");
    EXPECT_EQ(readInt32(m, "absent"), 0);
    EXPECT_EQ(readUint32(m, "big"), 1u);
    EXPECT_EQ(readUint32(m, "neg"), 0xFFFFFFFFu);
    EXPECT_EQ(readInt32(m, "f"), -2);
    EXPECT_EQ(readUint32(m, "t"), 1u);
    EXPECT_THROW(readInt32(m, "s"), json::type_error);
    EXPECT_THROW(readUint32(m, "n"), json::type_error);
    EXPECT_THROW(readInt32(m, "inf"), std::out_of_range);
}

}  // namespace
}  // namespace lumivane::protocol
