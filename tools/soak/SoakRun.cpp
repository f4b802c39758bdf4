#include "SoakRun.h"

#include "ChurnActions.h"
#include "GoodClient.h"
#include "ProcessSample.h"
#include "SignalingLink.h"
#include "main/HostSandbox.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <list>
#include <map>
#include <random>
#include <sstream>
#include <vector>

namespace lumivane::soak {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using host::ChildProcess;

constexpr const char* kWindowTitle = "Lumivane Soak Window";
constexpr auto kLongestAllowedGap = 1000ms;
constexpr std::size_t kLiveActions = 4;          // churn clients at once
constexpr auto kActionEvery = 250ms;              // a new churn client this often
constexpr auto kActionDeadline = 20s;             // a client still running then is killed
constexpr std::uint32_t kDescriptorSlack = 2;     // the quiet host may hold a connection or two more

bool discoveryPortFree() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(9877);
    const bool free = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

bool exited(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

double mib(std::uint64_t kib) { return static_cast<double>(kib) / 1024.0; }

struct LiveAction {
    std::string name;
    std::unique_ptr<ChildProcess> process;
    Clock::time_point deadline;
    Clock::time_point killAt = Clock::time_point::max();  // "stream" only, once it streams
};

class Soak {
public:
    explicit Soak(const SoakOptions& options) : options_(options), random_(options.seed) {}

    int run() {
        if (const std::string error = startHost(); !error.empty()) return failWith(error);
        GoodClient good(address_);
        if (const std::string error = good.start(); !error.empty()) return failWith(error);
        goodStreamId_ = good.streamId();
        std::this_thread::sleep_for(2s);
        const auto baseline = ProcessSample::of(host_->host().pid());
        if (!baseline) return failWith("the host died before the churn began");
        std::printf("soak: baseline rss=%.1fMiB fds=%u threads=%u\n", mib(baseline->rssKiB), baseline->descriptors,
                    baseline->threads);
        good.resetLongestGap();

        const auto start = Clock::now();
        const auto end = start + options_.duration;
        const auto warmUp = start + std::max<Clock::duration>(30s, options_.duration / 10);
        std::optional<ProcessSample> warm;
        auto nextSample = start + options_.sampleEvery;
        auto nextAction = start;
        bool hostAlive = true;
        while (Clock::now() < end && hostAlive) {
            const auto now = Clock::now();
            reap(now);
            if (now >= nextAction && live_.size() < kLiveActions) {
                launch();
                nextAction = now + kActionEvery;
            }
            if (now >= nextSample) {
                const auto sample = ProcessSample::of(host_->host().pid());
                hostAlive = sample.has_value();
                if (sample) {
                    report(now - start, *sample, good);
                    peakRss_ = std::max(peakRss_, sample->rssKiB);
                    if (!warm && now >= warmUp) warm = sample;
                }
                nextSample += options_.sampleEvery;
            }
            std::this_thread::sleep_for(50ms);
        }
        while (!live_.empty()) {
            for (auto& action : live_) action.killAt = std::min(action.killAt, Clock::now());
            reap(Clock::now());
            std::this_thread::sleep_for(50ms);
        }
        // The churn has left; what the host still holds now, it keeps.
        std::this_thread::sleep_for(3s);
        const auto quiet = ProcessSample::of(host_->host().pid());
        const auto gap = good.longestGap();
        const std::string goodFailure = good.failure();
        const std::uint64_t packets = good.packets();
        good.stop();
        return summarise(baseline, warm, quiet, gap, goodFailure, packets);
    }

private:
    std::string startHost() {
        for (const char* name : {"DISPLAY", "PULSE_SERVER"}) {
            const char* value = std::getenv(name);
            if (!value || !*value) return std::string(name) + " is not set: run under scripts/soak";
        }
        if (!discoveryPortFree()) return "UDP port 9877 is taken (another host?); stop it and run again";
        window_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            LUMIVANE_TESTWINDOW_PATH, "--title", kWindowTitle, "--x", "1500", "--y", "100", "--interval", "16"});
        if (!window_->waitFor("frame 1\n", 60s)) return "the test window did not start:\n" + window_->tail();
        const std::string out = window_->output();
        const auto at = out.find("window 0x");
        if (at == std::string::npos) return "the test window named no window id";
        address_.windowId = static_cast<std::uint32_t>(std::strtoul(out.c_str() + at + 9, nullptr, 16));
        host_ = std::make_unique<host::HostSandbox>("soak");
        const auto ports = host_->writeSettings();
        address_.signaling = ports.signaling;
        address_.video = ports.video;
        address_.audio = ports.audio;
        address_.input = ports.input;
        if (!host_->startHost().waitFor("entering main loop", 60s)) return "the host did not start:\n" + host_->host().tail();
        return "";
    }

    void launch() {
        const auto& names = churnActionNames();
        const std::string name = names[random_() % names.size()];
        std::vector<std::string> argv{options_.self, "--act", name};
        for (const auto& [flag, value] :
             {std::pair{"--signaling", address_.signaling}, {"--video", address_.video}, {"--audio", address_.audio},
              {"--input", address_.input}})
            argv.insert(argv.end(), {flag, std::to_string(value)});
        argv.insert(argv.end(), {"--window", std::to_string(address_.windowId)});
        live_.push_back({name, std::make_unique<ChildProcess>(argv), Clock::now() + kActionDeadline});
        ++launched_[name];
    }

    // Ends what is due: streams get their kill -9 (and a stream_stop from elsewhere, since
    // the host keeps a vanished client's stream), overdue clients are killed, the rest reaped.
    void reap(Clock::time_point now) {
        for (auto it = live_.begin(); it != live_.end();) {
            ChildProcess& process = *it->process;
            const std::string out = process.output();
            if (it->name == "stream" && it->killAt == Clock::time_point::max() && out.find("stream ") != std::string::npos)
                it->killAt = now + std::chrono::milliseconds(300 + random_() % 2000);
            const bool overdue = now >= it->deadline || now >= it->killAt;
            if (!overdue && !exited(process.pid())) {
                ++it;
                continue;
            }
            if (overdue) process.signal(SIGKILL);
            process.exitCode(5s);
            if (it->name == "stream") stopStream(out);
            it = live_.erase(it);
        }
    }

    void stopStream(const std::string& out) {
        const auto at = out.find("stream ");
        if (at == std::string::npos) return;
        const int id = std::atoi(out.c_str() + at + 7);
        // Stream ids wrap after 255 subscriptions, and a subscription under the id of a
        // live stream replaces that stream: this one now is the good client's.
        if (id == goodStreamId_) {
            ++goodIdReused_;
            return;
        }
        try {
            boost::asio::io_context io;
            SignalingLink link(io, address_.signaling);
            link.send({{"type", "stream_stop"}, {"streamId", id}});
            link.readUntil("stream_stopped");
        } catch (const std::exception& e) {
            std::printf("soak: could not stop stream %d: %s\n", id, e.what());
        }
    }

    void report(Clock::duration elapsed, const ProcessSample& sample, const GoodClient& good) {
        std::size_t actions = 0;
        for (const auto& [name, count] : launched_) actions += count;
        std::printf("soak: %4llds rss=%.1fMiB fds=%u threads=%u good-packets=%llu longest-gap=%lldms churn-clients=%zu\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()),
                    mib(sample.rssKiB), sample.descriptors, sample.threads,
                    static_cast<unsigned long long>(good.packets()), static_cast<long long>(good.longestGap().count()),
                    actions);
        std::fflush(stdout);
    }

    int summarise(const std::optional<ProcessSample>& baseline, const std::optional<ProcessSample>& warm,
                  const std::optional<ProcessSample>& quiet, std::chrono::milliseconds gap,
                  const std::string& goodFailure, std::uint64_t packets) {
        std::vector<std::string> faults;
        std::printf("soak: churn clients:");
        for (const auto& [name, count] : launched_) std::printf(" %s=%d", name.c_str(), count);
        std::printf("\n");
        if (goodIdReused_)
            std::printf("soak: %d churn streams got the good client's stream id %d (ids wrap) and replaced its stream\n",
                        goodIdReused_, goodStreamId_);
        if (!quiet) {
            faults.push_back("the host died during the run");
        } else {
            const double growth = warm ? mib(quiet->rssKiB) - mib(warm->rssKiB) : 0.0;
            std::printf("soak: descriptors %u before the churn, %u after it; threads %u, %u\n", baseline->descriptors,
                        quiet->descriptors, baseline->threads, quiet->threads);
            std::printf("soak: rss %.1fMiB after the warm-up, %.1fMiB at the end (growth %.1fMiB), peak %.1fMiB\n",
                        warm ? mib(warm->rssKiB) : 0.0, mib(quiet->rssKiB), growth, mib(peakRss_));
            if (quiet->descriptors > baseline->descriptors + kDescriptorSlack)
                faults.push_back("the host holds more descriptors than before the churn");
            if (options_.duration >= 600s && growth > options_.maxRssGrowthMiB)
                faults.push_back("the host's memory grew by more than the allowed amount");
        }
        std::printf("soak: good client: %llu packets, longest interruption %lldms\n",
                    static_cast<unsigned long long>(packets), static_cast<long long>(gap.count()));
        if (gap > kLongestAllowedGap) faults.push_back("the good client's stream stopped for more than a second");
        if (!goodFailure.empty()) faults.push_back(goodFailure);
        const auto stopAt = Clock::now();
        host_->host().signal(SIGTERM);
        const int code = host_->host().exitCode(10s);
        std::printf("soak: host exit status %d after SIGTERM, in %lldms\n", code,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopAt).count()));
        if (code != 0) faults.push_back("the host did not exit cleanly on SIGTERM");
        summariseLog(host_->host().output());
        for (const auto& fault : faults) std::printf("soak: FAULT: %s\n", fault.c_str());
        if (!faults.empty()) std::printf("---- host output, last lines ----\n%s\n", host_->host().tail(60).c_str());
        std::printf("soak: %s\n", faults.empty() ? "passed" : "FAILED");
        return faults.empty() ? 0 : 1;
    }

    // The host's warnings and errors, alike ones counted together (numbers read as #).
    static void summariseLog(const std::string& output) {
        std::map<std::string, int> counts;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            const auto level = line.find("] [");
            if (level == std::string::npos) continue;
            const std::string rest = line.substr(level + 2);
            if (rest.rfind("[warning]", 0) != 0 && rest.rfind("[error]", 0) != 0 && rest.rfind("[critical]", 0) != 0)
                continue;
            std::string key;
            for (const char c : rest.substr(0, 140)) {
                if (std::isdigit(static_cast<unsigned char>(c))) {
                    if (key.empty() || key.back() != '#') key += '#';
                } else {
                    key += c;
                }
            }
            ++counts[key];
        }
        for (const auto& [text, count] : counts) std::printf("soak: host logged %5d x %s\n", count, text.c_str());
    }

    int failWith(const std::string& error) {
        std::printf("soak: FAULT: %s\nsoak: FAILED\n", error.c_str());
        return 1;
    }

    const SoakOptions options_;
    std::mt19937 random_;
    HostAddress address_;
    std::unique_ptr<ChildProcess> window_;
    std::unique_ptr<host::HostSandbox> host_;
    std::list<LiveAction> live_;
    std::map<std::string, int> launched_;
    std::uint64_t peakRss_ = 0;
    int goodStreamId_ = -1;
    int goodIdReused_ = 0;
};

}  // namespace

int runSoak(const SoakOptions& options) { return Soak(options).run(); }

}  // namespace lumivane::soak
