// Once the video queue has warmed up, sending a frame allocates nothing, on the frame thread
// or on the I/O thread that writes it. Counted by replacing the global allocation functions
// for this test program; the count runs only while a test asks for it.

#include "network/TcpTransportServer.h"

#include "fakes/AllocationCounter.h"
#include "NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace lumivane::host {
namespace {

TEST(VideoAllocationTest, SteadyStreamingAllocatesNothingPerFrame) {
    test::LogCapture logs;
    TcpTransportServer server(0);
    std::atomic<std::uint64_t> sent{0};
    server.setFrameSentCallback([&](std::size_t) { ++sent; });
    ASSERT_TRUE(server.start());
    test::TestClient client(server.port());
    ASSERT_TRUE(logs.waitFor("TCP client connected from"));

    // Warming up: a burst of the largest frames while the client does not read, so that the
    // queue reaches the depth (and each buffer the size) the steady state below ever needs.
    std::vector<std::uint8_t> large(1 << 20, 7);
    for (int i = 0; i < 4; ++i) server.sendVideoFrame(1, large.data(), large.size(), i == 0);
    std::vector<std::uint8_t> sink(large.size() + 20);
    for (int i = 0; i < 4; ++i) boost::asio::read(client.socket(), boost::asio::buffer(sink));
    ASSERT_TRUE(test::eventually([&] { return sent == 4; }));

    // Each frame is read before the next is sent, so the queue never drops one.
    const std::vector<std::uint8_t> frame(50000, 7);
    auto sendAndRead = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const std::size_t size = frame.size() - static_cast<std::size_t>(i % 7) * 1000;
            server.sendVideoFrame(1, frame.data(), size, i % 10 == 0);
            boost::asio::read(client.socket(), boost::asio::buffer(sink.data(), size + 20));
        }
    };
    sendAndRead(20);
    ASSERT_TRUE(test::eventually([&] { return sent == 24; }));

    test::allocations = 0;
    test::countAllocations = true;
    sendAndRead(200);
    const bool allSent = test::eventually([&] { return sent == 224; });
    test::countAllocations = false;
    ASSERT_TRUE(allSent);
    EXPECT_EQ(test::allocations.load(), 0u);
}

}  // namespace
}  // namespace lumivane::host
