#pragma once
// A program as a child process, the way a user runs it (found on PATH): its own argument
// list and environment, stdout and stderr collected by a reader thread so that a chatty
// child never blocks on a full pipe, and waits on its output with deadlines.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace lumivane::host {

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    // envOverrides: an empty value removes the variable.
    explicit ChildProcess(std::vector<std::string> argv, const std::map<std::string, std::string>& envOverrides = {}) {
        int fds[2];
        if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0) return;
        std::vector<std::string> env = environment(envOverrides);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        auto args = pointers(argv), envp = pointers(env);
        if (posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        reader_ = std::thread([this, fd = fds[0]] { readAll(fd); });
    }
    ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& envOverrides = {})
        : ChildProcess(withProgram(path, arguments), envOverrides) {}
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int number) const {
        if (pid_ > 0) ::kill(pid_, number);
    }

    // True once done(output) holds; false when the output ends first or the deadline passes.
    bool waitUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, Clock::now() + timeout, [&] { return done(output_) || ended_; }) &&
               done(output_);
    }
    // Looks from offset `from` of the output on, so a caller can wait for a line that
    // follows its own action.
    bool waitFor(const std::string& text, std::chrono::milliseconds timeout, std::size_t from = 0) {
        return waitUntil([&](const std::string& out) { return out.find(text, from) != std::string::npos; }, timeout);
    }

    // Waits for the exit, then for the end of its output: its exit status, or -1 when it
    // was killed by a signal or did not exit in time (then it is killed). Waiting on the
    // exit rather than on the pipe keeps a grandchild that inherited the pipe from
    // holding the wait up.
    int exitCode(std::chrono::milliseconds timeout) {
        if (pid_ <= 0) return exitCode_;
        // A pidfd turns readable when the child exits, so the wait needs no polling loop.
        const int pidfd = int(syscall(SYS_pidfd_open, pid_, 0));
        int ready = 0;
        if (pidfd >= 0) {
            pollfd exited{pidfd, POLLIN, 0};
            do ready = poll(&exited, 1, int(timeout.count()));
            while (ready < 0 && errno == EINTR);
            ::close(pidfd);
        }
        if (ready <= 0) ::kill(pid_, SIGKILL);
        int status = 0;
        const pid_t waited = waitpid(pid_, &status, 0);
        pid_ = -1;
        exitCode_ = ready > 0 && waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        // Its last lines may still be in the pipe.
        std::unique_lock lock(mutex_);
        changed_.wait_until(lock, Clock::now() + timeout, [&] { return ended_; });
        return exitCode_;
    }

    std::string output() const {
        std::lock_guard lock(mutex_);
        return output_;
    }
    std::size_t outputSize() const {
        std::lock_guard lock(mutex_);
        return output_.size();
    }
    // The last lines, for failure messages.
    std::string tail(std::size_t lines = 40) const {
        const std::string out = output();
        std::size_t start = out.size();
        for (std::size_t n = 0; n <= lines; ++n) {
            if (start == 0) return out;
            start = out.rfind('\n', start - 1);
            if (start == std::string::npos) return out;
        }
        return out.substr(start + 1);
    }

private:
    static std::vector<std::string> withProgram(const std::string& path, const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{path};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return argv;
    }
    static std::vector<std::string> environment(const std::map<std::string, std::string>& overrides) {
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
        return entries;
    }
    // Valid while strings lives and is not changed.
    static std::vector<char*> pointers(std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (auto& s : strings) out.push_back(s.data());
        out.push_back(nullptr);
        return out;
    }

    void readAll(int fd) {
        char chunk[4096];
        for (;;) {
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            {
                std::lock_guard lock(mutex_);
                output_.append(chunk, std::size_t(n));
            }
            changed_.notify_all();
        }
        ::close(fd);
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }

    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    bool ended_ = false;
};

}  // namespace lumivane::host
