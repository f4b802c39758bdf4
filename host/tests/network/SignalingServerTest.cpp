#include "network/SignalingServer.h"

#include "network/SignalingTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace lumivane::host {
namespace {

using sigtest::LogCapture;
using sigtest::WsClient;

const std::string kDefaultWelcome =
    R"({"audioPort":9945,"hostName":"Lumivane Host","hostVersion":"1.0.5","inputPort":9946,)"
    R"("protocol":"tcp","requiresAuth":false,"supportedCodecs":["h264"],"type":"welcome","videoPort":9944})";

std::string started(std::uint32_t windowId, int streamId) {
    return R"({"codec":"h264","height":0,"streamId":)" + std::to_string(streamId) +
           R"(,"type":"stream_started","width":0,"windowId":)" + std::to_string(windowId) + "}";
}
const std::string kStartFailed = R"({"code":1001,"message":"Failed to start stream","type":"error"})";

std::string ping(int n) { return R"({"type":"ping","timestamp":)" + std::to_string(n) + "}"; }
std::string pong(int n) { return R"({"timestamp":)" + std::to_string(n) + R"(,"type":"pong"})"; }

class SignalingServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    LogCapture logs;
    SignalingServer server{0};
};

TEST_F(SignalingServerTest, HelloIsAnsweredWithWelcomeCarryingTheTransportPorts) {
    std::atomic<int> hellos{0};
    std::string peer;
    server.setClientHelloCallback([&](const std::string& address) {
        peer = address;
        ++hellos;
    });
    WsClient client(server.port());
    EXPECT_EQ(client.request(R"({"type":"hello","name":"headset"})"), kDefaultWelcome);
    EXPECT_EQ(peer, "127.0.0.1");
    EXPECT_TRUE(logs.waitFor("Received hello from client at 127.0.0.1"));
    EXPECT_TRUE(logs.waitFor("Sending welcome message: " + kDefaultWelcome));

    // A host configured on other ports must send clients there, not to the defaults.
    server.setTransportPorts({5000, 5001, 5002});
    EXPECT_EQ(client.request(R"({"type":"hello"})"),
              R"({"audioPort":5001,"hostName":"Lumivane Host","hostVersion":"1.0.5","inputPort":5002,)"
              R"("protocol":"tcp","requiresAuth":false,"supportedCodecs":["h264"],"type":"welcome","videoPort":5000})");
    EXPECT_EQ(hellos.load(), 2);
}

TEST_F(SignalingServerTest, HelloNameReachesTheNameCallbackBoundedOnACharacter) {
    std::vector<std::string> names;  // written on the I/O thread before welcome is sent
    server.setClientNameCallback([&](const std::string& address, const std::string& name) {
        EXPECT_EQ(address, "127.0.0.1");
        names.push_back(name);
    });
    WsClient client(server.port());
    client.request(R"({"type":"hello","name":"Quest 3"})");
    client.request(R"({"type":"hello"})");
    client.request(R"({"type":"hello","name":42})");
    // 63 ASCII bytes then a two-byte character: keeping 64 bytes would split it.
    const std::string longName = std::string(63, 'a') + "\u00e9" + "tail";
    client.request(R"({"type":"hello","name":")" + longName + R"("})");
    ASSERT_EQ(names.size(), 2u) << "only string names are reported";
    EXPECT_EQ(names[0], "Quest 3");
    EXPECT_EQ(names[1], std::string(63, 'a'));
}

TEST_F(SignalingServerTest, StreamIdsAreSharedByClientsConsumedByFailuresAndWrap) {
    server.setStreamStartCallback([](std::uint32_t windowId, std::uint8_t) { return windowId != 0xBAD; });
    WsClient a(server.port());
    WsClient b(server.port());
    EXPECT_EQ(a.request(R"({"type":"stream_start","windowId":16})"), started(16, 1));
    EXPECT_EQ(b.request(R"({"type":"stream_subscribe","windowId":2989})"), kStartFailed);
    EXPECT_TRUE(logs.waitFor("Stream subscribe request for window bad"));
    EXPECT_EQ(b.request(R"({"type":"stream_start","windowId":7})"), started(7, 3));
    for (int id = 4; id <= 255; ++id) ASSERT_EQ(a.request(R"({"type":"stream_start","windowId":7})"), started(7, id));
    EXPECT_EQ(a.request(R"({"type":"stream_start","windowId":7})"), started(7, 0));
    EXPECT_EQ(b.request(R"({"type":"stream_start"})"), started(0, 1));
}

TEST_F(SignalingServerTest, SubscriptionWithoutCallbackFails) {
    WsClient client(server.port());
    EXPECT_EQ(client.request(R"({"type":"stream_start","windowId":1})"), kStartFailed);
}

TEST_F(SignalingServerTest, MalformedMessagesAreLoggedUnansweredAndKeepTheSession) {
    std::atomic<int> starts{0};
    server.setStreamStartCallback([&](std::uint32_t, std::uint8_t) { return ++starts, true; });
    server.setKeyframeRequestCallback([](std::uint8_t) { throw std::runtime_error("keyframe boom"); });
    server.setStreamStopCallback([](std::uint8_t) { throw std::runtime_error("stop boom"); });
    const std::pair<std::string, std::string> cases[] = {
        {"not json", "Error processing message: [json.exception.parse_error"},
        {"[1,2]", "Error processing message: [json.exception.type_error.306] cannot use value() with array"},
        {"42", "Error processing message: [json.exception.type_error.306] cannot use value() with number"},
        {"{}", "Unknown message type: 'missing'"},
        {R"({"type":"dance"})", "Unknown message type: 'dance'"},
        {R"({"type":"Hello"})", "Unknown message type: 'Hello'"},
        {R"({"type":5})", "Error processing message: [json.exception.type_error.302]"},
        {R"({"type":"stream_start","windowId":"7"})", "Error processing message: [json.exception.type_error.302]"},
        {R"({"type":"ping","timestamp":null})", "Error processing message: [json.exception.type_error.302]"},
        {R"({"type":"window_resize","width":[1]})", "Error processing message: [json.exception.type_error.302]"},
        {R"({"type":"ping","timestamp":1e300})", "Error processing message: number out of range for 'timestamp'"},
        {R"({"type":"request_keyframe","streamId":1})", "Error processing message: keyframe boom"},
        {R"({"type":"stream_stop","streamId":1})", "Error processing message: stop boom"},
    };
    WsClient client(server.port());
    int n = 0;
    for (const auto& [text, logged] : cases) {
        SCOPED_TRACE(text);
        const std::size_t before = logs.count(logged);
        client.send(text);
        ++n;
        // The next reply is the pong: nothing was answered and the session is still open.
        EXPECT_EQ(client.request(ping(n)), pong(n));
        EXPECT_EQ(logs.count(logged), before + 1);
    }
    EXPECT_EQ(starts.load(), 0);
    // The malformed subscription took no stream id.
    EXPECT_EQ(client.request(R"({"type":"stream_start","windowId":3})"), started(3, 1));
}

TEST_F(SignalingServerTest, RequestsAreAnsweredWithTheValuesAsRead) {
    std::atomic<int> stopped{-1};
    std::atomic<int> keyframe{-1};
    server.setStreamStopCallback([&](std::uint8_t id) { stopped = id; });
    server.setKeyframeRequestCallback([&](std::uint8_t id) { keyframe = id; });
    WsClient client(server.port());
    EXPECT_EQ(client.request(R"({"type":"stream_stop"})"), R"({"streamId":0,"type":"stream_stopped"})");
    EXPECT_EQ(stopped.load(), 0);
    EXPECT_EQ(client.request(R"({"type":"stream_unsubscribe","streamId":257})"),
              R"({"streamId":257,"type":"stream_stopped"})");
    EXPECT_EQ(stopped.load(), 1);
    EXPECT_TRUE(logs.waitFor("Stream stop request for stream 257"));
    EXPECT_EQ(client.request(R"({"type":"ping","timestamp":5})"), pong(5));
    EXPECT_EQ(client.request(R"({"type":"ping","timestamp":3000000000})"), pong(-1294967296));
    EXPECT_EQ(client.request(R"({"type":"ping","timestamp":2.9})"), pong(2));
    EXPECT_EQ(client.request(R"({"type":"ping","timestamp":true})"), pong(1));
    EXPECT_EQ(client.request(R"({"type":"window_list_request"})"), R"({"type":"window_list","windows":[]})");
    EXPECT_EQ(client.request(R"({"type":"window_resize","streamId":2,"windowId":255,"width":800,"height":600})"),
              R"({"height":600,"streamId":2,"success":false,"type":"window_resized","width":800,"windowId":255})");
    EXPECT_TRUE(logs.waitFor("Window resize request: stream=2, window=ff, size=800x600"));
    client.send(R"({"type":"keyframe_request","streamId":300})");
    EXPECT_EQ(client.request(ping(9)), pong(9));
    EXPECT_EQ(keyframe.load(), 44);
}

TEST_F(SignalingServerTest, ResizeAndWindowListUseTheirCallbacks) {
    server.setWindowResizeCallback([](std::uint32_t windowId, std::uint32_t w, std::uint32_t h) {
        return windowId == 9 && w == 640 && h == 480;
    });
    protocol::WindowInfo good;
    good.id = 0x2a;
    good.title = "Editor \xc3\xa9";
    good.processName = "ed";
    good.className = "Ed";
    good.x = -5;
    good.width = 100;
    good.height = 50;
    good.isVisible = true;
    good.iconBase64 = "AAAA";
    protocol::WindowInfo broken = good;
    broken.title = "bad \xff\xfe title";
    server.setWindowListCallback([&] { return std::vector{good, broken}; });
    WsClient client(server.port());
    EXPECT_EQ(client.request(R"({"type":"window_resize","windowId":9,"width":640,"height":480})"),
              R"({"height":480,"streamId":0,"success":true,"type":"window_resized","width":640,"windowId":9})");
    const std::string window = R"({"className":"Ed","height":50,"iconBase64":"AAAA","id":42,"isMaximized":false,)"
                               R"("isMinimized":false,"isVisible":true,"processName":"ed","title":)";
    const std::string tail = R"(,"width":100,"x":-5,"y":0})";
    // One broken title must not cost the client the whole list.
    EXPECT_EQ(client.request(R"({"type":"window_list_request"})"),
              R"({"type":"window_list","windows":[)" + window + "\"Editor \xc3\xa9\"" + tail + "," + window +
                  "\"bad \xef\xbf\xbd\xef\xbf\xbd title\"" + tail + "]}");
}

TEST_F(SignalingServerTest, StreamConfigIsBroadcastWhileRepliesGoToOneClient) {
    protocol::StreamConfigMessage config;
    config.windowId = 0x10;
    config.streamId = 3;
    config.width = 1280;
    config.height = 720;
    config.codec = "video/avc";
    config.sps = "Z0IAKA==";
    config.pps = "aM4=";
    config.targetBitrate = 8000;
    config.targetFps = 60;
    const std::string expected =
        R"({"codec":"video/avc","height":720,"pps":"aM4=","sps":"Z0IAKA==","streamId":3,)"
        R"("targetBitrate":8000,"targetFps":60,"type":"stream_config","width":1280,"windowId":16})";

    auto alone = server.sendStreamConfig(config);
    ASSERT_TRUE(alone->isOpen());
    EXPECT_TRUE(alone->delivered());

    WsClient a(server.port());
    WsClient b(server.port());
    ASSERT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 2; }));
    EXPECT_EQ(a.request(ping(1)), pong(1));
    auto sent = server.sendStreamConfig(config);
    ASSERT_TRUE(sigtest::waitUntil([&] { return sent->isOpen(); }));
    EXPECT_TRUE(sent->delivered());
    EXPECT_EQ(b.read(), expected);  // b never sees a's pong
    EXPECT_EQ(a.read(), expected);
    EXPECT_TRUE(logs.waitFor("Sending stream_config: streamId=3, 1280x720, codec=video/avc, sps=8B, pps=4B"));
}

TEST_F(SignalingServerTest, ManyMessagesArriveInOrder) {
    WsClient client(server.port());
    for (int i = 0; i < 200; ++i) client.send(ping(i));
    for (int i = 0; i < 200; ++i) ASSERT_EQ(client.read(), pong(i));
}

TEST_F(SignalingServerTest, ClosedAndBrokenClientsAreRemoved) {
    WsClient a(server.port());
    WsClient b(server.port());
    ASSERT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 2; }));
    a.close();
    EXPECT_TRUE(logs.waitFor("Client disconnected"));
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 1; }));
    b.breakConnection();
    EXPECT_TRUE(logs.waitFor("WebSocket read failed: "));
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 0; }));
}

TEST_F(SignalingServerTest, CallbacksMayBeReplacedWhileMessagesAreHandled) {
    std::atomic<int> calls{0};
    std::atomic<bool> done{false};
    server.setKeyframeRequestCallback([&](std::uint8_t) { ++calls; });
    std::thread setter([&] {
        while (!done) server.setKeyframeRequestCallback([&](std::uint8_t) { ++calls; });
    });
    WsClient client(server.port());
    for (int i = 0; i < 100; ++i) client.send(R"({"type":"request_keyframe","streamId":1})");
    EXPECT_EQ(client.request(ping(1)), pong(1));
    done = true;
    setter.join();
    EXPECT_EQ(calls.load(), 100);
}

TEST(SignalingServerLifecycle, TwoServersRunSideBySideAndStopOnce) {
    LogCapture logs;
    SignalingServer first(0);
    SignalingServer second(0);
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    EXPECT_NE(first.port(), second.port());
    EXPECT_TRUE(logs.waitFor("Signaling server listening on port " + std::to_string(second.port())));
    WsClient a(first.port());
    WsClient b(second.port());
    EXPECT_EQ(a.request(R"({"type":"hello"})"), kDefaultWelcome);
    EXPECT_EQ(b.request(R"({"type":"hello"})"), kDefaultWelcome);

    // A third server on a port in use fails cleanly.
    SignalingServer taken(first.port());
    EXPECT_FALSE(taken.start());
    EXPECT_EQ(logs.count("Failed to start signaling server: "), 1u);

    first.stop();
    first.stop();
    EXPECT_EQ(logs.count("Signaling server stopped"), 1u);
    EXPECT_EQ(a.read().rfind("<error", 0), 0u);  // its client is dropped
    EXPECT_EQ(b.request(ping(1)), pong(1));
    // A stopped server can start again.
    ASSERT_TRUE(first.start());
    WsClient c(first.port());
    EXPECT_EQ(c.request(ping(2)), pong(2));
}

}  // namespace
}  // namespace lumivane::host
