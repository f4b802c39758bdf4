#include "network/DiscoveryResponder.h"

#include "NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace lumivane::host {
namespace {

using test::LogCapture;

class DiscoveryResponderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(responder.start());
        ASSERT_TRUE(client.open());
        ASSERT_TRUE(client.bindAny(0));
    }

    // Sends to 127.0.0.1 only; returns the answer, or nothing after `waitMs`.
    std::vector<std::uint8_t> ask(const std::string& request, int waitMs = 10000) {
        const std::uint8_t loopback[4] = {127, 0, 0, 1};  // network byte order
        DatagramPeer to{0, responder.port()};
        std::memcpy(&to.address, loopback, sizeof loopback);
        EXPECT_TRUE(client.sendTo(reinterpret_cast<const std::uint8_t*>(request.data()), request.size(), to));
        if (client.waitReadable(waitMs) != UdpSocket::Wait::Readable) return {};
        std::uint8_t buffer[256];
        DatagramPeer from;
        const long n = client.receiveFrom(buffer, sizeof buffer, from);
        return n > 0 ? std::vector<std::uint8_t>(buffer, buffer + n) : std::vector<std::uint8_t>{};
    }

    LogCapture logs;
    DiscoveryResponder responder{"DESKTOP-1", 9876, 0};
    UdpSocket client;
};

TEST_F(DiscoveryResponderTest, AnswersByteExactAndNamesTheClient) {
    const auto answer = ask("LUMIVANE_DISCOVER");
    const char expected[] = "LUMIVANE_HOST\0DESKTOP-1\0" "9876";  // plus the implicit final NUL
    ASSERT_EQ(answer.size(), 29u);
    EXPECT_EQ(std::memcmp(answer.data(), expected, 29), 0);
    EXPECT_EQ(logs.count("Discovery request from 127.0.0.1 (Unknown)"), 1);

    EXPECT_EQ(ask(std::string("LUMIVANE_DISCOVER Quest\0junk", 28)).size(), 29u);
    EXPECT_EQ(logs.count("Discovery request from 127.0.0.1 (Quest)"), 1);
    EXPECT_EQ(ask("LUMIVANE_DISCOVER ").size(), 29u);
    EXPECT_EQ(logs.count("(Unknown)"), 2);
    // Any machine may send one: its name cannot forge a log line or fill the log.
    EXPECT_EQ(ask("LUMIVANE_DISCOVER evil\n" + std::string(1000, 'x')).size(), 29u);
    EXPECT_EQ(logs.count("Discovery request from 127.0.0.1 (evil\\x0a" + std::string(75, 'x') + "...)"), 1);
}

TEST_F(DiscoveryResponderTest, BadMagicIsIgnoredSilently) {
    // Each bad request is followed by a good one: its answer must be the only one that comes.
    for (const char* bad : {"LUMIVANE_DISCOVEX", "LUMIVANE_DISCOVE", ""}) {
        ask(bad, 0);
        ASSERT_EQ(ask("LUMIVANE_DISCOVER!").size(), 29u);
        EXPECT_EQ(client.waitReadable(0), UdpSocket::Wait::TimedOut);
    }
    EXPECT_EQ(logs.count("Discovery request"), 3);
}

TEST_F(DiscoveryResponderTest, StartTwiceWarnsAndStopIsPrompt) {
    EXPECT_TRUE(responder.start());
    EXPECT_EQ(logs.count("Discovery responder already running"), 1);
    DiscoveryResponder other("B", 1, 0);
    ASSERT_TRUE(other.start());
    EXPECT_NE(other.port(), responder.port());
    const auto before = std::chrono::steady_clock::now();
    responder.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(2500));
    EXPECT_EQ(logs.count("Discovery responder stopped"), 1);
}

TEST(DiscoveryResponse, LongHostNameGrowsTheAnswer) {
    const std::string name(100, 'h');
    DiscoveryResponder responder(name, 65535, 0);
    EXPECT_EQ(responder.response().size(), 16 + name.size() + 5);
}

}  // namespace
}  // namespace lumivane::host
