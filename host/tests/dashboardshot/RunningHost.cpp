#include "RunningHost.h"

#include <signal.h>
#include <stdlib.h>

#include <fstream>
#include <regex>

namespace lumivane::host {

using namespace std::chrono_literals;

namespace {

constexpr auto kStartTimeout = 60s;
constexpr auto kStopTimeout = 30s;

}  // namespace

RunningHost::Programs RunningHost::Programs::built() {
    return {LUMIVANE_HOST_PATH, LUMIVANE_CLIENT_PATH, LUMIVANE_TESTWINDOW_PATH};
}

std::unique_ptr<RunningHost> RunningHost::start(const Programs& programs, const std::vector<std::string>& titles,
                                                std::string& error) {
    std::unique_ptr<RunningHost> running(new RunningHost);
    running->programs_ = programs;
    char pattern[] = "/tmp/lumivane-running-host.XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "cannot make a folder for the host's settings";
        return nullptr;
    }
    running->root_ = pattern;
    for (const std::string& title : titles) {
        if (!running->openWindow(title)) {
            error = "test window \"" + title + "\" did not appear";
            return nullptr;
        }
    }

    // Any free ports: the host reports the ones it got.
    std::filesystem::create_directories(running->settingsPath().parent_path());
    std::ofstream(running->settingsPath()) << R"({"signalingPort":0,"videoPort":0,"audioPort":0,"inputPort":0})";
    running->host_ = std::make_unique<ChildProcess>(
        programs.host, std::vector<std::string>{},
        std::map<std::string, std::string>{{"XDG_CONFIG_HOME", (running->root_ / "config").string()},
                                           {"XDG_STATE_HOME", (running->root_ / "state").string()},
                                           {"LOCALAPPDATA", ""}});
    ChildProcess& host = *running->host_;
    if (!host.started() || !host.waitFor("entering main loop", kStartTimeout)) {
        error = "the host did not start:\n" + host.output();
        return nullptr;
    }
    std::smatch port;
    const std::string output = host.output();
    if (!std::regex_search(output, port, std::regex(R"(Signaling: ws://localhost:(\d+))"))) {
        error = "the host named no signalling port:\n" + output;
        return nullptr;
    }
    running->signalingPort_ = std::uint16_t(std::stoi(port[1]));

    running->window_ = HostWindow::find(host.pid(), kStartTimeout);
    if (!running->window_) {
        error = "the host's window did not appear";
        return nullptr;
    }
    running->window_->raise();
    running->window_->pointerAway();
    return running;
}

RunningHost::~RunningHost() {
    stopClient();
    if (host_) stop();
    for (auto& window : windows_) {
        window->signal(SIGTERM);
        window->exitCode(kStopTimeout);
    }
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::filesystem::path RunningHost::settingsPath() const { return root_ / "config" / "Lumivane" / "settings.json"; }

bool RunningHost::openWindow(const std::string& title) {
    windows_.push_back(std::make_unique<ChildProcess>(
        programs_.testWindow,
        std::vector<std::string>{"--title", title, "--width", "480", "--height", "320", "--interval", "16"}));
    if (!windows_.back()->waitFor("window 0x", kStartTimeout)) return false;
    // A new window maps on top, over the host's.
    if (window_) window_->raise();
    return true;
}

bool RunningHost::startClient(const std::string& title, std::string& error) {
    stopClient();
    client_ = std::make_unique<ChildProcess>(
        programs_.client, std::vector<std::string>{"stream", "--host", "127.0.0.1", "--port",
                                                   std::to_string(signalingPort_), "--title", title, "--no-audio",
                                                   "--json"});
    // The first statistics come a second into the stream, when the host's do too.
    if (client_->waitFor(R"("event":"stats")", kStartTimeout)) return true;
    error = "the client streamed nothing:\n" + client_->output();
    return false;
}

void RunningHost::stopClient() {
    if (!client_) return;
    // Ctrl-C: stream_stop, then the connections close.
    client_->signal(SIGINT);
    client_->exitCode(kStopTimeout);
    client_.reset();
}

int RunningHost::stop() {
    if (!host_) return -1;
    window_.reset();
    host_->signal(SIGTERM);
    const int status = host_->exitCode(kStopTimeout);
    return status;
}

}  // namespace lumivane::host
