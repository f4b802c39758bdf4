#include "network/TcpAudioServer.h"

#include "NetworkTestSupport.h"
#include "network/MediaPacketHeader.h"

#include <gtest/gtest.h>

#include <future>

namespace lumivane::host {
namespace {

using test::LogCapture;
using test::TestClient;

TEST(TcpAudioServerTest, PacketBytesAndFirstThreeLogLines) {
    LogCapture logs;
    TcpAudioServer server(0);
    ASSERT_TRUE(server.start());
    std::vector<std::uint8_t> opus(200);
    for (std::size_t i = 0; i < opus.size(); ++i) opus[i] = static_cast<std::uint8_t>(i);
    server.sendAudioData(0, opus.data(), opus.size());  // no client: not counted

    TestClient client(server.port());
    ASSERT_TRUE(logs.waitFor("TCP audio client connected from 127.0.0.1"));
    for (int i = 0; i < 4; ++i) server.sendAudioData(255, opus.data(), opus.size());

    const auto p = client.read(216);
    ASSERT_EQ(p.size(), 216u);
    EXPECT_EQ(loadLe32(p.data()), 212u);
    const std::vector<std::uint8_t> head{1, 2, 255, 0, 0, 0, 204, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 4, p.begin() + 12), head);
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin() + 16, p.end()), opus);
    for (std::uint16_t seq = 1; seq < 4; ++seq)
        EXPECT_EQ(MediaPacketHeader::readFrom(client.read(216).data() + 4).sequence, seq);

    EXPECT_EQ(logs.count("TCP Audio packet #0: length=212 (headerSize=12, dataSize=200), type=2, streamId=255, "
                         "payloadLength=204"), 1);
    EXPECT_EQ(logs.count("TCP Audio packet #2"), 1);
    EXPECT_EQ(logs.count("TCP Audio packet #"), 3);
}

TEST(TcpAudioServerTest, KilledClientFailsOnceThenDropsUntilNextClient) {
    LogCapture logs;
    TcpAudioServer server(0);
    ASSERT_TRUE(server.start());
    auto client = std::make_unique<TestClient>(server.port());
    ASSERT_TRUE(logs.waitFor("TCP audio client connected"));
    client->abort();
    std::vector<std::uint8_t> opus(100, 1);
    // A reset peer is noticed by a later write.
    ASSERT_TRUE(test::eventually([&] {
        server.sendAudioData(0, opus.data(), opus.size());
        return logs.count("TCP audio send failed") > 0;
    }));
    for (int i = 0; i < 10; ++i) server.sendAudioData(0, opus.data(), opus.size());
    EXPECT_EQ(logs.count("TCP audio send failed"), 1);

    TestClient next(server.port());
    ASSERT_TRUE(logs.waitFor("TCP audio client connected", 2));
    EXPECT_EQ(logs.count("TCP audio: Closing previous client connection"), 0);
    server.sendAudioData(0, opus.data(), opus.size());
    EXPECT_EQ(next.read(116).size(), 116u);
}

// A client that stops reading while sound plays once blocked the audio thread for good:
// no replacement got sound and the host could not stop. Now the oldest packets give way.
TEST(TcpAudioServerTest, StalledClientCostsOnlyItsOldestPackets) {
    LogCapture logs;
    TcpAudioServer server(0);
    ASSERT_TRUE(server.start());
    auto stalled = std::make_unique<TestClient>(server.port(), "127.0.0.1", 4096);
    ASSERT_TRUE(logs.waitFor("TCP audio client connected"));
    std::vector<std::uint8_t> opus(400, 1);
    auto sending = std::async(std::launch::async, [&] {
        for (int i = 0; i < 5000; ++i) server.sendAudioData(1, opus.data(), opus.size());
    });
    const bool returned = sending.wait_for(test::kDeadline) == std::future_status::ready;
    if (!returned) stalled->abort();
    ASSERT_TRUE(returned) << "sendAudioData waited on the stalled client";
    EXPECT_GT(server.droppedPackets(), 0u);
    EXPECT_EQ(logs.count("TCP audio client is falling behind"), 1);

    TestClient next(server.port());
    ASSERT_TRUE(logs.waitFor("TCP audio: Closing previous client connection"));
    server.sendAudioData(1, opus.data(), opus.size());
    // What waited for the stalled client is not sent to the new one: this packet comes first.
    const auto packet = next.read(416);
    ASSERT_EQ(packet.size(), 416u);
    EXPECT_EQ(MediaPacketHeader::readFrom(packet.data() + 4).sequence, 5000);

    auto stopping = std::async(std::launch::async, [&] { server.stop(); });
    EXPECT_EQ(stopping.wait_for(test::kDeadline), std::future_status::ready);
}

TEST(TcpAudioServerTest, ClientTakingNothingForTheSendTimeoutIsClosed) {
    LogCapture logs;
    TcpAudioServer server(0);
    server.setSendTimeout(std::chrono::milliseconds(300));
    ASSERT_TRUE(server.start());
    TestClient stalled(server.port(), "127.0.0.1", 4096);
    ASSERT_TRUE(logs.waitFor("TCP audio client connected"));
    std::vector<std::uint8_t> opus(60000, 1);
    for (int i = 0; i < 20; ++i) server.sendAudioData(1, opus.data(), opus.size());
    ASSERT_TRUE(logs.waitFor("TCP audio send failed: the client took no data for 300 ms"));
    EXPECT_TRUE(stalled.closedByPeer());
}

TEST(TcpAudioServerTest, ForeignPeerIsRefusedAndTheClientKept) {
    LogCapture logs;
    TcpAudioServer server(0);
    server.setPeerCheck([](const boost::asio::ip::address& a) { return a.to_string() == "127.0.0.1"; });
    ASSERT_TRUE(server.start());
    TestClient client(server.port());
    ASSERT_TRUE(logs.waitFor("TCP audio client connected"));
    TestClient foreign(server.port(), "127.0.0.2");
    EXPECT_TRUE(foreign.closedByPeer());
    EXPECT_EQ(logs.count("Refused TCP audio connection from 127.0.0.2"), 1);
    std::uint8_t data[3] = {7, 8, 9};
    server.sendAudioData(1, data, sizeof data);
    EXPECT_EQ(client.read(19).size(), 19u);
}

TEST(TcpAudioServerTest, SecondClientReplacesFirstAndTwoServersCoexist) {
    LogCapture logs;
    TcpAudioServer a(0), b(0);
    ASSERT_TRUE(a.start());
    ASSERT_TRUE(b.start());
    EXPECT_NE(a.port(), b.port());
    TestClient first(a.port());
    ASSERT_TRUE(logs.waitFor("TCP audio client connected"));
    TestClient second(a.port());
    ASSERT_TRUE(logs.waitFor("TCP audio: Closing previous client connection"));
    std::uint8_t data[3] = {7, 8, 9};
    a.sendAudioData(1, data, sizeof data);
    EXPECT_EQ(second.read(19).size(), 19u);
}

}  // namespace
}  // namespace lumivane::host
