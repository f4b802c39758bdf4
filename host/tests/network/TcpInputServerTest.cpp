#include "network/TcpInputServer.h"

#include "NetworkTestSupport.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

using test::LogCapture;
using test::TestClient;
using test::eventually;

class TcpInputServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.setInputCallback([this](const InputEvent& e) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(e);
        });
        ASSERT_TRUE(server.start());
    }
    std::size_t eventCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }
    static std::vector<std::uint8_t> event(std::uint8_t streamId, std::uint16_t x) {
        return {streamId, 1, 4, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8), 0x00, 0x80,
                3, 0x05, 0x78, 0x00, 0xEE};
    }

    LogCapture logs;
    TcpInputServer server{0};
    std::mutex mutex;
    std::vector<InputEvent> events;
};

TEST_F(TcpInputServerTest, DecodesPackedRecordsSentBackToBackInOneSegment) {
    TestClient client(server.port());
    std::vector<std::uint8_t> bytes;
    for (std::uint8_t i = 0; i < 5; ++i) {
        auto body = event(i, static_cast<std::uint16_t>(1000 + i));
        if (i == 2) body.resize(20, 0x55);  // extra bytes are ignored
        const auto f = TestClient::framed(body);
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(client.write(bytes));
    ASSERT_TRUE(eventually([&] { return eventCount() == 5; }));
    std::lock_guard<std::mutex> lock(mutex);
    for (std::uint8_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events[i].streamId, i);
        EXPECT_EQ(events[i].x, 1000 + i);
    }
    EXPECT_EQ(events[0].type, 1);
    EXPECT_EQ(events[0].action, 4);
    EXPECT_EQ(events[0].y, 0x8000);
    EXPECT_EQ(events[0].code, 3);
    EXPECT_EQ(events[0].modifiers, 5);
    EXPECT_EQ(events[0].wheelDelta, 120);
}

TEST_F(TcpInputServerTest, ShortAndEmptyMessagesAreSkippedAndReadingGoesOn) {
    TestClient client(server.port());
    ASSERT_TRUE(client.write(TestClient::framed(std::vector<std::uint8_t>(11, 1))));
    ASSERT_TRUE(client.write(TestClient::framed({})));
    ASSERT_TRUE(client.write(TestClient::framed(event(7, 1))));
    ASSERT_TRUE(eventually([&] { return eventCount() == 1; }));
    EXPECT_EQ(logs.count("TCP input message too small: 11 bytes"), 1);
}

TEST_F(TcpInputServerTest, LengthLimitIs1024) {
    TestClient client(server.port());
    auto body = event(1, 1);
    body.resize(1024, 0);
    ASSERT_TRUE(client.write(TestClient::framed(body)));
    body.resize(1025, 0);
    ASSERT_TRUE(client.write(TestClient::framed(body)));
    ASSERT_TRUE(logs.waitFor("TCP input message too large: 1025 bytes"));
    ASSERT_TRUE(client.write(TestClient::framed(event(2, 2))));
    EXPECT_EQ(eventCount(), 1u);
}

TEST_F(TcpInputServerTest, ReplacementKeepsTheNewClientReading) {
    TestClient first(server.port());
    ASSERT_TRUE(logs.waitFor("TCP input client connected"));
    TestClient second(server.port());
    ASSERT_TRUE(logs.waitFor("Closing existing TCP input client connection"));
    ASSERT_TRUE(second.write(TestClient::framed(event(9, 9))));
    ASSERT_TRUE(eventually([&] { return eventCount() == 1; }));
    // The replaced connection's read ends quietly: it was closed here, not by its client.
    EXPECT_TRUE(first.closedByPeer());
    EXPECT_EQ(logs.count("TCP input client disconnected"), 0);
    EXPECT_EQ(logs.count("error"), 0);
}

TEST(TcpInputServerLifecycle, TwoServersOnEphemeralPorts) {
    LogCapture logs;
    TcpInputServer a(0), b(0);
    ASSERT_TRUE(a.start());
    ASSERT_TRUE(b.start());
    EXPECT_NE(a.port(), b.port());
    TcpInputServer clash(a.port());
    EXPECT_FALSE(clash.start());
    EXPECT_EQ(logs.count("Failed to start TCP input server"), 1);
}

}  // namespace
}  // namespace lumivane::host
