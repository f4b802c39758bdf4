#pragma once
// Runs lumivane-testwindow as a child and reads its report lines with deadlines.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace lumivane::host {

class TestWindowProcess {
public:
    explicit TestWindowProcess(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        args.insert(args.begin(), LUMIVANE_TESTWINDOW_PATH);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~TestWindowProcess() {
        kill();
        if (out_ >= 0) ::close(out_);
    }

    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // The first line starting with prefix, reading at most until the deadline.
    std::optional<std::string> waitForLine(const std::string& prefix,
                                           std::chrono::seconds timeout = std::chrono::seconds(20)) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            auto newline = buffer_.find('\n');
            while (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                if (line.rfind(prefix, 0) == 0) return line;
                newline = buffer_.find('\n');
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd fd{out_, POLLIN, 0};
            int ready = poll(&fd, 1, int(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return std::nullopt;
            char chunk[4096];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                std::fprintf(stderr, "lumivane-testwindow ended its output (%s)\n", exitText().c_str());
                return std::nullopt;
            }
            buffer_.append(chunk, std::size_t(n));
        }
    }

    // The window id from the "window 0xID" line, 0 when it never came.
    std::uint32_t waitForWindow() {
        auto line = waitForLine("window ");
        return line ? std::uint32_t(std::strtoul(line->c_str() + 7, nullptr, 16)) : 0;
    }

private:
    std::string exitText() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return "still running";
        pid_ = -1;
        if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
        return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status)) : "ended";
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

}  // namespace lumivane::host
