// What a misbehaving signalling peer may cost the host: each case ends with the peer
// disconnected or refused, and the well-behaved clients beside it served.
#include "network/SignalingServer.h"

#include "network/SignalingTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace lumivane::host {
namespace {

using sigtest::LogCapture;
using sigtest::WsClient;

namespace net = boost::asio;

std::string ping(int n) { return R"({"type":"ping","timestamp":)" + std::to_string(n) + "}"; }
std::string pong(int n) { return R"({"timestamp":)" + std::to_string(n) + R"(,"type":"pong"})"; }

bool isError(const std::string& read) { return read.rfind("<error", 0) == 0; }

// A ping padded to exactly `bytes`.
std::string pingOfSize(std::size_t bytes, int n) {
    const std::string head = R"({"type":"ping","timestamp":)" + std::to_string(n) + R"(,"pad":")";
    return head + std::string(bytes - head.size() - 2, 'x') + "\"}";
}

TEST(SignalingLimits, AMessageOverTheLimitClosesItsSessionAndPeerTextIsLoggedCut) {
    LogCapture logs;
    SignalingLimits limits;
    limits.maxMessageBytes = 4096;
    SignalingServer server(0, limits);
    ASSERT_TRUE(server.start());

    WsClient client(server.port());
    EXPECT_EQ(client.request(pingOfSize(4096, 1)), pong(1));
    // A type of a kilobyte with a line break in it costs the log one short line.
    client.send(R"({"type":"evil\n)" + std::string(1000, 'A') + R"("})");
    EXPECT_EQ(client.request(ping(2)), pong(2));
    EXPECT_EQ(logs.count("Unknown message type: 'evil\\x0a" + std::string(75, 'A') + "...'"), 1u);
    EXPECT_EQ(logs.count(std::string(100, 'A')), 0u);

    WsClient other(server.port());
    client.send(pingOfSize(4097, 3));
    EXPECT_TRUE(isError(client.read()));
    EXPECT_TRUE(logs.waitFor("Closed signalling session of 127.0.0.1: a message over 4096 bytes"));
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 1; }));
    EXPECT_EQ(other.request(ping(4)), pong(4));
}

TEST(SignalingLimits, SessionsAreLimitedInTotalAndPerAddress) {
    LogCapture logs;
    SignalingLimits limits;
    limits.maxSessions = 3;
    limits.maxSessionsPerAddress = 2;
    SignalingServer server(0, limits);
    ASSERT_TRUE(server.start());

    auto a = std::make_unique<WsClient>(server.port(), "127.0.0.1");
    WsClient b(server.port(), "127.0.0.1");
    EXPECT_ANY_THROW(WsClient(server.port(), "127.0.0.1"));
    EXPECT_TRUE(logs.waitFor("Refused signalling connection from 127.0.0.1: too many sessions from that address"));
    WsClient c(server.port(), "127.0.0.2");
    EXPECT_ANY_THROW(WsClient(server.port(), "127.0.0.3"));
    EXPECT_EQ(server.getClientCount(), 3u);
    for (auto* client : {a.get(), &b, &c}) EXPECT_EQ(client->request(ping(1)), pong(1));

    // A closed session frees its place.
    a->close();
    a.reset();
    ASSERT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 2; }));
    WsClient d(server.port(), "127.0.0.1");
    EXPECT_EQ(d.request(ping(2)), pong(2));
}

TEST(SignalingLimits, AConnectionThatNeverUpgradesIsClosedAndMayNotOpenDataConnections) {
    LogCapture logs;
    SignalingLimits limits;
    limits.upgradeDeadline = std::chrono::milliseconds(200);
    SignalingServer server(0, limits);
    ASSERT_TRUE(server.start());

    net::io_context io;
    net::ip::tcp::socket raw(io);
    raw.connect({net::ip::make_address("127.0.0.1"), server.port()});
    ASSERT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 1; }));
    EXPECT_FALSE(server.holdsSession(net::ip::make_address("127.0.0.1")));
    EXPECT_TRUE(logs.waitFor("Closed signalling connection from 127.0.0.1: no WebSocket upgrade within 200 ms"));
    char byte = 0;
    boost::system::error_code ec;
    raw.read_some(net::buffer(&byte, 1), ec);
    EXPECT_TRUE(ec) << "the host closed it";
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 0; }));

    WsClient client(server.port());
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.holdsSession(net::ip::make_address("127.0.0.1")); }));
    EXPECT_FALSE(server.holdsSession(net::ip::make_address("127.0.0.2")));
}

TEST(SignalingLimits, ASilentPeerIsPingedAndClosedWhenItDoesNotAnswer) {
    LogCapture logs;
    SignalingLimits limits;
    limits.idleTimeout = std::chrono::seconds(2);
    SignalingServer server(0, limits);
    ASSERT_TRUE(server.start());

    WsClient gone(server.port(), "127.0.0.2");  // never reads, so never answers a ping
    WsClient present(server.port());
    std::string presentRead;
    // Reading answers the host's pings; the read ends when the server stops.
    std::thread reader([&] { presentRead = present.read(); });
    EXPECT_TRUE(logs.waitFor("Closed signalling session of 127.0.0.2: no answer to a ping for 2000 ms"));
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 1; }));
    EXPECT_TRUE(server.holdsSession(net::ip::make_address("127.0.0.1")));
    server.stop();
    reader.join();
    EXPECT_TRUE(isError(presentRead));
}

TEST(SignalingLimits, APeerThatReadsNothingIsDisconnectedInsteadOfBuffered) {
    LogCapture logs;
    SignalingLimits limits;
    limits.maxQueuedBytes = 256 * 1024;
    SignalingServer server(0, limits);
    ASSERT_TRUE(server.start());
    WsClient stuck(server.port(), "127.0.0.1", 4096);
    ASSERT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 1; }));

    protocol::StreamConfigMessage config;
    config.sps = std::string(64 * 1024, 'A');
    // Far more than the socket buffers and the queue hold together.
    std::vector<std::shared_ptr<DeliveryGate>> gates;
    for (int i = 0; i < 400; ++i) gates.push_back(server.sendStreamConfig(config));
    EXPECT_TRUE(logs.waitFor("Closed signalling session of 127.0.0.1: it reads nothing"));
    // Those it was sent no longer wait; those queued for it say they were not delivered.
    for (const auto& gate : gates) ASSERT_TRUE(sigtest::waitUntil([&] { return gate->isOpen(); }));
    EXPECT_TRUE(std::any_of(gates.begin(), gates.end(), [](const auto& gate) { return !gate->delivered(); }));
    EXPECT_TRUE(sigtest::waitUntil([&] { return server.getClientCount() == 0; }));
}

TEST(SignalingLimits, WindowListRequestsWhileOneWaitsForThePeerAreAnsweredByIt) {
    LogCapture logs;
    SignalingServer server(0);
    ASSERT_TRUE(server.start());
    std::atomic<int> built{0};
    protocol::WindowInfo window;
    window.id = 1;
    window.iconBase64 = std::string(256 * 1024, 'A');
    server.setWindowListCallback([&] {
        ++built;
        return std::vector{window};
    });
    WsClient client(server.port(), "127.0.0.1", 4096);
    constexpr int kRequests = 300;
    for (int i = 0; i < kRequests; ++i) client.send(R"({"type":"window_list_request"})");
    client.send(ping(7));
    int lists = 0;
    for (;;) {
        const std::string read = client.read();
        ASSERT_FALSE(isError(read) || read == "<timeout>") << read;
        if (read == pong(7)) break;
        ASSERT_EQ(read.rfind(R"({"type":"window_list","windows":[)", 0), 0u);
        ++lists;
    }
    EXPECT_EQ(lists, built.load()) << "every list built was sent";
    EXPECT_GE(lists, 1);
    EXPECT_LT(lists, kRequests);
    EXPECT_EQ(server.getClientCount(), 1u);
}

// Connections keep arriving while stop runs; one arriving after stop closed the sessions
// used to be registered, and its session kept the I/O thread, and so stop, waiting forever.
// A hang here ends in the test's time-out.
TEST(SignalingLimits, StopReturnsWhilePeersConnectAndOneReadsNothing) {
    LogCapture logs;
    for (int round = 0; round < 20; ++round) {
        SignalingServer server(0);
        ASSERT_TRUE(server.start());
        WsClient stuck(server.port(), "127.0.0.1", 4096);
        protocol::StreamConfigMessage config;
        config.sps = std::string(512 * 1024, 'A');  // more than the socket buffers take
        auto gate = server.sendStreamConfig(config);
        std::atomic<bool> stopping{false};
        std::atomic<int> connected{0};
        std::thread connector([&] {
            net::io_context io;
            std::vector<net::ip::tcp::socket> sockets;
            while (!stopping) {
                net::ip::tcp::socket socket(io);
                boost::system::error_code ec;
                socket.connect({net::ip::make_address("127.0.0.2"), server.port()}, ec);
                if (!ec) ++connected;
                sockets.push_back(std::move(socket));
                if (sockets.size() > 200) sockets.erase(sockets.begin());
            }
        });
        ASSERT_TRUE(sigtest::waitUntil([&] { return connected.load() > round % 5; }));
        server.stop();
        stopping = true;
        connector.join();
        EXPECT_TRUE(gate->isOpen());
        EXPECT_EQ(server.getClientCount(), 0u);
    }
}

}  // namespace
}  // namespace lumivane::host
