// What needs POSIX resource limits: running out of descriptors.

#include "network/SignalingServer.h"

#include "network/SignalingTestSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

namespace lumivane::host {
namespace {

using sigtest::LogCapture;
using sigtest::WsClient;

std::string ping(int n) { return R"({"type":"ping","timestamp":)" + std::to_string(n) + "}"; }
std::string pong(int n) { return R"({"timestamp":)" + std::to_string(n) + R"(,"type":"pong"})"; }

TEST(SignalingServerLifecycle, AcceptsAgainAfterAFailedAccept) {
    LogCapture logs;
    SignalingServer server(0);
    ASSERT_TRUE(server.start());
    WsClient client{WsClient::Deferred{}};
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // No descriptor left for the server's accept; the client's socket is already open.
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    client.connectTcp(server.port());  // completes in the backlog, without the accept
    const bool failed = logs.waitFor("Accept failed: ");
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(failed);
    client.handshake();
    EXPECT_EQ(client.request(ping(3)), pong(3));
}

}  // namespace
}  // namespace lumivane::host
