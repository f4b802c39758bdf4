// The lumivane-host executable as a user runs it: start-up on the settings' ports, a
// client's hello, SIGTERM, and a missing display.

#include "network/SignalingTestSupport.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace lumivane::host {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kStartDeadline = std::chrono::seconds(60);

// The host as a child process with its own environment; stdout and stderr are collected.
class HostProcess {
public:
    explicit HostProcess(const std::map<std::string, std::string>& overrides) {
        std::map<std::string, std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const auto eq = entry.find('=');
            if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        for (const auto& [name, value] : overrides) {
            if (value.empty()) env.erase(name); else env[name] = value;
        }
        std::vector<std::string> entries;
        for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& entry : entries) envp.push_back(entry.data());
        envp.push_back(nullptr);

        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        char path[] = LUMIVANE_HOST_PATH;
        char* argv[] = {path, nullptr};
        if (posix_spawn(&pid_, path, &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~HostProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // Reads output until text appears (true) or the output ends or the deadline passes.
    bool waitFor(const std::string& text, std::chrono::seconds timeout = kStartDeadline) {
        const auto deadline = Clock::now() + timeout;
        while (output_.find(text) == std::string::npos) {
            if (!readSome(deadline)) return false;
        }
        return true;
    }
    // Reads to the end of the output, then the exit status (-1 unless a normal exit).
    int exitCode() {
        const auto deadline = Clock::now() + kStartDeadline;
        while (readSome(deadline)) {
        }
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void signal(int number) { ::kill(pid_, number); }
    const std::string& output() const { return output_; }

private:
    bool readSome(Clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd fd{out_, POLLIN, 0};
            const int ready = poll(&fd, 1, int(left));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            output_.append(chunk, std::size_t(n));
            return true;
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
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
