#include "network/TcpTransportServer.h"

#include "NetworkTestSupport.h"
#include "network/MediaPacketHeader.h"
#include "network/VideoFrameHeader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace lumivane::host {
namespace {

using test::LogCapture;
using test::TestClient;
using test::eventually;

class TcpTransportServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    std::unique_ptr<TestClient> connect() {
        auto client = std::make_unique<TestClient>(server.port());
        EXPECT_TRUE(eventually([&] { return server.isClientConnected(); }));
        return client;
    }

    LogCapture logs;
    TcpTransportServer server{0};
};

TEST_F(TcpTransportServerTest, PacketBytesForSmallAndLargeFrames) {
    auto client = connect();
    std::vector<std::uint8_t> small(100, 0xAB);
    std::vector<std::uint8_t> large(70000);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 7);
    server.sendVideoFrame(3, small.data(), small.size(), true);
    server.sendVideoFrame(4, large.data(), large.size(), false);

    auto p = client->read(120);
    ASSERT_EQ(p.size(), 120u);
    EXPECT_EQ(loadLe32(p.data()), 116u);
    const std::vector<std::uint8_t> expectHead{1, 1, 3, 1, 0, 0, 108, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 4, p.begin() + 12), expectHead);
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 16, p.begin() + 20), (std::vector<std::uint8_t>{1, 0, 1, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 20, p.end()), small);

    auto q = client->read(70020);
    ASSERT_EQ(q.size(), 70020u);
    EXPECT_EQ(loadLe32(q.data()), 70016u);
    const auto media = MediaPacketHeader::readFrom(q.data() + 4);
    EXPECT_EQ(media.streamId, 4);
    EXPECT_EQ(media.sequence, 1);
    EXPECT_EQ(media.payloadLength, 65535);
    EXPECT_EQ(VideoFrameHeader::readFrom(q.data() + 12).frameType, 3);
    EXPECT_EQ(std::vector<std::uint8_t>(q.begin() + 20, q.end()), large);
}

TEST_F(TcpTransportServerTest, NoClientSendsNothingAndSequenceSpansStreamsAndClients) {
    std::uint8_t frame[10] = {};
    server.sendVideoFrame(1, frame, sizeof frame, true);  // nobody there: must not count
    auto first = connect();
    server.sendVideoFrame(1, frame, sizeof frame, true);
    server.sendVideoFrame(2, frame, sizeof frame, false);
    EXPECT_EQ(MediaPacketHeader::readFrom(first->read(30).data() + 4).sequence, 0);
    EXPECT_EQ(MediaPacketHeader::readFrom(first->read(30).data() + 4).sequence, 1);

    auto second = std::make_unique<TestClient>(server.port());
    ASSERT_TRUE(logs.waitFor("Closing existing TCP client connection"));
    // The first connection is reset rather than drained.
    std::vector<std::uint8_t> rest(1);
    boost::system::error_code ec;
    first->socket().read_some(boost::asio::buffer(rest), ec);
    EXPECT_EQ(ec, boost::asio::error::connection_reset);

    // The stale read of the replaced connection fails; it must leave the new client alone.
    ASSERT_TRUE(logs.waitFor("TCP client disconnected"));
    EXPECT_TRUE(server.isClientConnected());
    server.sendVideoFrame(7, frame, sizeof frame, false);
    const auto packet = second->read(30);
    ASSERT_EQ(packet.size(), 30u);
    EXPECT_EQ(MediaPacketHeader::readFrom(packet.data() + 4).sequence, 2);
    EXPECT_EQ(MediaPacketHeader::readFrom(packet.data() + 4).streamId, 7);
}

TEST_F(TcpTransportServerTest, DeliversFeedbackInputAndKeyframeRequests) {
    std::mutex mutex;
    std::vector<std::string> seen;
    auto note = [&](std::string s) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(std::move(s));
    };
    server.setFeedbackCallback([&](const ClientFeedback& f) {
        note("feedback " + std::to_string(f.decodeMs) + " " + std::to_string(f.rttMs));
    });
    server.setInputCallback([&](const ClientInput& i) {
        note("input " + std::to_string(i.streamId) + " " + std::to_string(i.x) + " " + std::to_string(i.y) + " " +
             std::to_string(i.code) + " " + std::to_string(i.wheelDelta));
    });
    server.setKeyframeRequestCallback([&](std::uint8_t id) { note("keyframe " + std::to_string(id)); });
    auto client = connect();

    std::vector<std::uint8_t> bytes;
    auto add = [&](const std::vector<std::uint8_t>& body) {
        auto f = TestClient::framed(body);
        bytes.insert(bytes.end(), f.begin(), f.end());
    };
    add({});                                                   // empty: skipped
    add({4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2});                // one byte short: ignored
    add({4, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x02, 0x21, 0x00, 9});  // extra byte ignored
    add({3, 5, 1, 4, 0, 0x34, 0x12, 0xFF, 0xFF, 2, 0, 0x88, 0xFF});
    add({99, 1, 2, 3});                                        // unknown type
    add({16});                                                 // too short
    add({16, 6});
    ASSERT_TRUE(client->write(bytes));

    ASSERT_TRUE(eventually([&] {
        server.update();
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size() >= 3;
    }));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(seen, (std::vector<std::string>{"feedback 528 33", "input 5 4660 65535 2 -120", "keyframe 6"}));
}

TEST_F(TcpTransportServerTest, LengthLimitAcceptsFourMebibytesAndStopsReadingAbove) {
    std::atomic<int> keyframes{0};
    server.setKeyframeRequestCallback([&](std::uint8_t) { ++keyframes; });
    auto client = connect();
    std::vector<std::uint8_t> body(4194304, 0);
    body[0] = 16;
    ASSERT_TRUE(client->write(TestClient::framed(body)));
    ASSERT_TRUE(client->write(TestClient::framed({}, 4194305)));
    ASSERT_TRUE(logs.waitFor("TCP message too large: 4194305 bytes"));
    EXPECT_EQ(keyframes.load(), 1);

    // Nothing more is read, yet video keeps flowing to the same connection.
    ASSERT_TRUE(client->write(TestClient::framed({16, 1})));
    std::uint8_t frame[4] = {};
    server.sendVideoFrame(0, frame, sizeof frame, true);
    EXPECT_EQ(client->read(24).size(), 24u);
    EXPECT_EQ(keyframes.load(), 1);
}

TEST(FrameDropTest, PFramesDropWhenQueueFullKeyframesOnlyOnStall) {
    EXPECT_EQ(decideFrameDrop(50, 3, false), FrameDrop::Send);
    EXPECT_EQ(decideFrameDrop(50, 4, false), FrameDrop::QueueFull);
    EXPECT_EQ(decideFrameDrop(50, 4, true), FrameDrop::Send);
    EXPECT_EQ(decideFrameDrop(101, 4, true), FrameDrop::Stalled);
    EXPECT_EQ(decideFrameDrop(101, 3, false), FrameDrop::Send);
}

// Frames that wait behind a blocked write are counted, so a stalled client triggers a drop
// and a keyframe request instead of queueing every capture thread.
TEST_F(TcpTransportServerTest, StalledClientCountsWaitingFramesAndRequestsKeyframe) {
    std::atomic<int> requested{-1};
    server.setKeyframeRequestCallback([&](std::uint8_t id) { requested = id; });
    auto client = connect();
    const auto connectedAt = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> big(32 * 1024 * 1024, 1);
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i)
        senders.emplace_back([&] { server.sendVideoFrame(1, big.data(), big.size(), true); });
    const bool allWaiting = eventually([&] { return server.pendingFrames() == 4; });
    EXPECT_TRUE(allWaiting) << server.pendingFrames() << " pending";
    if (!allWaiting) {
        client->abort();
        for (auto& t : senders) t.join();
        return;
    }
    EXPECT_EQ(server.pendingBytes(), 4 * static_cast<std::int64_t>(big.size()));
    EXPECT_TRUE(eventually([&] { return std::chrono::steady_clock::now() - connectedAt > std::chrono::milliseconds(150); }));

    std::uint8_t frame[8] = {};
    server.sendVideoFrame(9, frame, sizeof frame, false);  // returns at once: dropped
    EXPECT_EQ(requested.load(), 9);
    EXPECT_EQ(logs.count("TCP queue stalled"), 1);

    client->abort();
    for (auto& t : senders) t.join();
    EXPECT_EQ(server.pendingFrames(), 0);
    EXPECT_GE(logs.count("TCP send failed"), 1);
}

TEST(TcpTransportServerLifecycle, TwoServersOnEphemeralPortsAndStopIsIdempotent) {
    LogCapture logs;
    TcpTransportServer a(0), b(0);
    ASSERT_TRUE(a.start());
    ASSERT_TRUE(b.start());
    EXPECT_NE(a.port(), 0);
    EXPECT_NE(a.port(), b.port());
    a.stop();
    a.stop();
    EXPECT_EQ(logs.count("TCP transport server stopped"), 1);
}

}  // namespace
}  // namespace lumivane::host
