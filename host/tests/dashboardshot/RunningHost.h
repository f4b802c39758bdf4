#pragma once
// lumivane-host as a user runs it, on the current X display: animated test windows to list
// and stream, the host with settings and logs in a folder of its own (any free ports),
// its window found and raised, and the reference client to connect.

#include "main/ChildProcess.h"
#include "HostWindow.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lumivane::host {

class RunningHost {
public:
    struct Programs {
        std::string host;
        std::string client;
        std::string testWindow;
        static Programs built();  // the ones this build made
    };

    // One test window per title, then the host; null with `error` set when a step fails.
    static std::unique_ptr<RunningHost> start(const Programs& programs, const std::vector<std::string>& titles,
                                              std::string& error);
    // Stops the client, the host and the windows.
    ~RunningHost();
    RunningHost(const RunningHost&) = delete;
    RunningHost& operator=(const RunningHost&) = delete;

    HostWindow& window() { return *window_; }
    ChildProcess& process() { return *host_; }
    std::uint16_t signalingPort() const { return signalingPort_; }
    std::filesystem::path settingsPath() const;

    // The reference client streams the window with this title until stopClient; true once
    // it has streamed for a second.
    bool startClient(const std::string& title, std::string& error);
    void stopClient();
    // Another animated test window, under the host's; true once it is mapped.
    bool openWindow(const std::string& title);
    // Ends the host as Ctrl-C would; its exit status.
    int stop();

private:
    RunningHost() = default;

    Programs programs_;
    std::filesystem::path root_;
    std::vector<std::unique_ptr<ChildProcess>> windows_;
    std::unique_ptr<ChildProcess> host_;
    std::unique_ptr<HostWindow> window_;
    std::unique_ptr<ChildProcess> client_;
    std::uint16_t signalingPort_ = 0;
};

}  // namespace lumivane::host
