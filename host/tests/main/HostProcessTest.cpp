// The lumivane-host executable as a user runs it: start-up on the settings' ports, a
// client's hello, SIGTERM, and a missing display.

#include "main/HostSandbox.h"
#include "network/SignalingTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace lumivane::host {
namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

class HostProcessTest : public ::testing::Test {
protected:
    HostSandbox sandbox_{"hostprocess"};
};

TEST_F(HostProcessTest, ServesAClientAndEndsCleanlyOnSigterm) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "needs the test X server (scripts/test starts one)";
    const HostPorts ports = sandbox_.writeSettings();

    ChildProcess& host = sandbox_.startHost();
    ASSERT_TRUE(host.waitFor("All subsystems initialized successfully", kDeadline)) << host.output();
    ASSERT_TRUE(host.waitFor("entering main loop", kDeadline)) << host.output();

    sigtest::WsClient client(ports.signaling);
    const std::string welcome = client.request(R"({"type":"hello","name":"smoke test"})");
    EXPECT_NE(welcome.find(R"("type":"welcome")"), std::string::npos) << welcome;
    EXPECT_NE(welcome.find(R"("videoPort":)" + std::to_string(ports.video)), std::string::npos) << welcome;
    client.close();

    host.signal(SIGTERM);
    EXPECT_EQ(host.exitCode(kDeadline), 0) << host.output();
    EXPECT_NE(host.output().find("Application shutdown complete"), std::string::npos);
    EXPECT_NE(host.output().find("Lumivane Host exiting"), std::string::npos) << host.output();
    EXPECT_TRUE(fs::exists(sandbox_.logFile()));
}

TEST_F(HostProcessTest, WithoutADisplayExitsWithOneAndSaysWhy) {
    ChildProcess& host = sandbox_.startHost({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    EXPECT_EQ(host.exitCode(kDeadline), 1) << host.output();
    EXPECT_NE(host.output().find("No display"), std::string::npos) << host.output();
    EXPECT_EQ(host.output().find("Initializing application subsystems"), std::string::npos);
}

}  // namespace
}  // namespace lumivane::host
