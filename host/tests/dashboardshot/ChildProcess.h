#pragma once
// A program run as a child with its own environment; its stdout and stderr are read all
// the time (so a chatty child never blocks on a full pipe) and can be waited on.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumivane::host {

class ChildProcess {
public:
    // `environment` entries replace the inherited ones; an empty value removes one.
    ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment = {});
    // Kills the child if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // True once the output holds `text` (from `from` on); false when the output ends or
    // the deadline passes first.
    bool waitFor(const std::string& text, std::chrono::milliseconds timeout, std::size_t from = 0);
    std::string output() const;
    std::size_t outputSize() const;

    void signal(int number);
    // Waits for the exit and the end of its output, and returns its status; -1 for a
    // signal, a timeout (after which the child is killed) or a child that never started.
    int wait(std::chrono::milliseconds timeout);

private:
    void readOutput(int fd);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    bool ended_ = false;
};

}  // namespace lumivane::host
