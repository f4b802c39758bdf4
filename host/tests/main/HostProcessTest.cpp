// The lumivane-host executable as a user runs it: start-up on the settings' ports, a
// client's hello, SIGTERM, and a missing display.

#include "ChildProcess.h"
#include "network/SignalingTestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace lumivane::host {
namespace {

namespace fs = std::filesystem;
constexpr auto kStartDeadline = std::chrono::seconds(60);

class HostProcess : public ChildProcess {
public:
    explicit HostProcess(const std::map<std::string, std::string>& environment)
        : ChildProcess(LUMIVANE_HOST_PATH, {}, environment) {}
    bool waitFor(const std::string& text) { return ChildProcess::waitFor(text, kStartDeadline); }
    int exitCode() { return wait(kStartDeadline); }
};

// Free loopback ports now; the host binds them a moment later.
std::vector<std::uint16_t> freePorts(int count) {
    boost::asio::io_context io;
    std::vector<boost::asio::ip::tcp::acceptor> held;
    std::vector<std::uint16_t> ports;
    for (int i = 0; i < count; ++i) {
        held.emplace_back(io, boost::asio::ip::tcp::endpoint(boost::asio::ip::tcp::v4(), 0));
        ports.push_back(held.back().local_endpoint().port());
    }
    return ports;
}

class HostProcessTest : public ::testing::Test {
protected:
    HostProcessTest() {
        char pattern[] = "/tmp/lumivane-hostprocess.XXXXXX";
        root_ = mkdtemp(pattern);
        fs::create_directories(root_ / "config" / "Lumivane");
    }
    ~HostProcessTest() override { fs::remove_all(root_); }

    std::map<std::string, std::string> environment() const {
        return {{"XDG_CONFIG_HOME", (root_ / "config").string()},
                {"XDG_STATE_HOME", (root_ / "state").string()},
                {"LOCALAPPDATA", ""}};
    }
    void writeSettings(const std::vector<std::uint16_t>& ports) const {
        std::ofstream(root_ / "config" / "Lumivane" / "settings.json")
            << R"({"signalingPort":)" << ports[0] << R"(,"videoPort":)" << ports[1] << R"(,"audioPort":)" << ports[2]
            << R"(,"inputPort":)" << ports[3] << "}";
    }

    fs::path root_;
};

TEST_F(HostProcessTest, ServesAClientAndEndsCleanlyOnSigterm) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "needs the test X server (scripts/test starts one)";
    const auto ports = freePorts(4);
    writeSettings(ports);

    HostProcess host(environment());
    ASSERT_TRUE(host.waitFor("All subsystems initialized successfully")) << host.output();
    ASSERT_TRUE(host.waitFor("entering main loop")) << host.output();

    sigtest::WsClient client(ports[0]);
    const std::string welcome = client.request(R"({"type":"hello","name":"smoke test"})");
    EXPECT_NE(welcome.find(R"("type":"welcome")"), std::string::npos) << welcome;
    EXPECT_NE(welcome.find(R"("videoPort":)" + std::to_string(ports[1])), std::string::npos) << welcome;
    client.close();

    host.signal(SIGTERM);
    EXPECT_EQ(host.exitCode(), 0) << host.output();
    EXPECT_NE(host.output().find("Application shutdown complete"), std::string::npos);
    EXPECT_NE(host.output().find("Lumivane Host exiting"), std::string::npos) << host.output();
    EXPECT_TRUE(fs::exists(root_ / "state" / "Lumivane" / "logs" / "LumivaneHost.log"));
}

TEST_F(HostProcessTest, WithoutADisplayExitsWithOneAndSaysWhy) {
    auto env = environment();
    env["DISPLAY"] = "";
    env["WAYLAND_DISPLAY"] = "";
    HostProcess host(env);
    EXPECT_EQ(host.exitCode(), 1) << host.output();
    EXPECT_NE(host.output().find("No display"), std::string::npos) << host.output();
    EXPECT_EQ(host.output().find("Initializing application subsystems"), std::string::npos);
}

}  // namespace
}  // namespace lumivane::host
