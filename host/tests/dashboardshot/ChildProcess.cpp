#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace lumivane::host {
namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& overrides) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto eq = text.find('=');
        if (eq != std::string::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
    }
    for (const auto& [name, value] : overrides) {
        if (value.empty()) merged.erase(name);
        else merged[name] = value;
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : merged) entries.push_back(name + "=" + value);
    return entries;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment) {
    std::vector<std::string> args{path};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> entries = mergedEnvironment(environment);
    std::vector<char*> envp;
    for (auto& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] { readOutput(fd); });
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    // The pipe ends once every process holding its write end has gone.
    if (reader_.joinable()) reader_.join();
}

void ChildProcess::readOutput(int fd) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        std::lock_guard lock(mutex_);
        if (n <= 0) {
            ended_ = true;
            changed_.notify_all();
            break;
        }
        output_.append(chunk, std::size_t(n));
        changed_.notify_all();
    }
    ::close(fd);
}

bool ChildProcess::waitFor(const std::string& text, std::chrono::milliseconds timeout, std::size_t from) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return output_.find(text, from) != std::string::npos || ended_;
    }) && output_.find(text, from) != std::string::npos;
}

std::string ChildProcess::output() const {
    std::lock_guard lock(mutex_);
    return output_;
}

std::size_t ChildProcess::outputSize() const {
    std::lock_guard lock(mutex_);
    return output_.size();
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && !reaped_) ::kill(pid_, number);
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    if (!reaped_) {
        // A pidfd turns readable when the child exits, so the wait needs no polling loop.
        const int pidfd = int(syscall(SYS_pidfd_open, pid_, 0));
        pollfd exited{pidfd, POLLIN, 0};
        int ready = 0;
        if (pidfd >= 0) {
            do ready = poll(&exited, 1, int(timeout.count()));
            while (ready < 0 && errno == EINTR);
            ::close(pidfd);
        }
        if (ready <= 0) ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        exitCode_ = ready > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        // Its last lines may still be in the pipe.
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return ended_; });
    }
    return exitCode_;
}

}  // namespace lumivane::host
