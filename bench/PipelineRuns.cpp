#include "PipelineRuns.h"

#include "ClientApp.h"
#include "FlvStream.h"
#include "Reporter.h"
#include "VideoDecoder.h"
#include "main/HostSandbox.h"
#include "testwindow/FrameStamp.h"

#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace lumivane::bench {
namespace {

using Clock = std::chrono::steady_clock;
using host::ChildProcess;
using namespace std::chrono_literals;

constexpr const char* kWindowTitle = "Lumivane Bench Window";
constexpr auto kStartDeadline = std::chrono::milliseconds(30s);

// Every decoded picture goes through here: its stamp's age once the warm-up is over, the
// picture rate, and the sender's CPU time over the same stretch.
class StampCollector {
public:
    StampCollector(const RunSettings& settings, pid_t sender) : settings_(settings), sender_(sender) {}

    void onPicture(const client::VideoDecoder::Luma& luma) {
        const auto now = Clock::now();
        if (!first_) first_ = now;
        if (now - *first_ < std::chrono::duration<double>(settings_.warmupSeconds)) return;
        if (!measuring_) {
            measuring_ = true;
            start_ = lastCpuRead_ = now;
            startCpu_ = lastCpu_ = processCpuSeconds(sender_);
        }
        ++pictures_;
        last_ = now;
        const auto stamp = testwindow::readStamp(luma.data, std::size_t(luma.stride), luma.width, luma.height);
        if (!stamp) {
            ++unreadable_;
        } else {
            const auto age = testwindow::stampAgeMicros(*stamp, testwindow::monotonicMicros());
            ages_.values.push_back(double(age) / 1000.0);
        }
        if (now - lastCpuRead_ >= 250ms) {
            lastCpuRead_ = now;
            lastCpu_ = processCpuSeconds(sender_);
        }
    }

    bool done() const {
        return measuring_ && std::chrono::duration<double>(last_ - start_).count() >= settings_.seconds;
    }

    void fill(RunResult& result) const {
        if (!measuring_) {
            result.error = "no pictures after the warm-up";
            return;
        }
        const double span = std::chrono::duration<double>(last_ - start_).count();
        const double cpuSpan = std::chrono::duration<double>(lastCpuRead_ - start_).count();
        result.fps = span > 0 ? double(pictures_ - 1) / span : 0;
        result.cpuPercent = cpuSpan > 0 && startCpu_ >= 0 ? 100 * (lastCpu_ - startCpu_) / cpuSpan : 0;
        result.glassToGlassMs = ages_;
        result.unreadable = unreadable_;
    }

private:
    const RunSettings& settings_;
    const pid_t sender_;
    std::optional<Clock::time_point> first_;
    bool measuring_ = false;
    Clock::time_point start_, last_, lastCpuRead_;
    double startCpu_ = 0, lastCpu_ = 0;
    std::uint64_t pictures_ = 0, unreadable_ = 0;
    Samples ages_;
};

std::unique_ptr<ChildProcess> startTestWindow(const RunSettings& s, std::string& error) {
    auto window = std::make_unique<ChildProcess>(std::vector<std::string>{
        LUMIVANE_TESTWINDOW_PATH, "--title", kWindowTitle, "--width", std::to_string(s.width), "--height",
        std::to_string(s.height), "--interval", std::to_string(1000.0 / s.paintFps), "--stamp"});
    if (!window->waitFor("frame 1\n", kStartDeadline)) error = "the test window did not start: " + window->output();
    return window;
}

// The host's own summary of the stream, logged when the stream stops.
void readHostLatency(ChildProcess& host, RunResult& result) {
    const std::regex line(R"(frame latency \(arrival to socket\): \d+ frames, median ([\d.]+) ms, p99 ([\d.]+) ms)");
    if (!host.waitFor("frame latency (arrival to socket)", kStartDeadline)) return;
    const std::string out = host.output();
    std::smatch m;
    if (std::regex_search(out, m, line)) {
        result.hostMedianMs = std::stod(m[1]);
        result.hostP99Ms = std::stod(m[2]);
    }
}

}  // namespace

double Samples::percentile(double fraction) const {
    if (values.empty()) return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = std::size_t(std::ceil(std::clamp(fraction, 0.0, 1.0) * double(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

double processCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the command: state is field 3; utime and stime are fields 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index >= 14) ticks += std::stod(field);
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// Gives the test window the keyboard focus, as a user clicking into it would; the host
// took the focus when its window appeared.
bool focusTestWindow(const ChildProcess& window) {
    std::smatch id;
    const std::string output = window.output();
    if (!std::regex_search(output, id, std::regex("window (0x[0-9a-f]+)"))) return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XSetInputFocus(display, Window(std::stoul(id[1], nullptr, 16)), RevertToParent, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

// After a second for the dashboard to settle (its first frames, a focus change): what it
// costs while nothing on it changes.
double idleCpuPercent(pid_t pid) {
    std::this_thread::sleep_for(1s);
    const double start = processCpuSeconds(pid);
    std::this_thread::sleep_for(2s);
    return 100 * (processCpuSeconds(pid) - start) / 2.0;
}

RunResult runLumivane(const RunSettings& s) {
    RunResult result;
    auto window = startTestWindow(s, result.error);
    if (!result.error.empty()) return result;
    host::HostSandbox sandbox("bench");
    const auto ports = sandbox.writeSettings(",\"targetFps\":" + std::to_string(s.hostFps) +
                                             ",\"targetBitrate\":" + std::to_string(s.bitrateKbps) +
                                             ",\"maxBitrate\":" + std::to_string(s.maxBitrateKbps));
    ChildProcess& host = sandbox.startHost();
    result.command = "lumivane-host (" + std::to_string(s.hostFps) + " fps, " + std::to_string(s.bitrateKbps) + " / " +
                     std::to_string(s.maxBitrateKbps) + " kbit/s, software x264)";
    if (!host.waitFor("entering main loop", kStartDeadline)) {
        result.error = "the host did not start:\n" + host.tail();
        return result;
    }
    // What the host costs with nothing to stream: its dashboard window's loop, in front
    // and behind.
    result.idleFrontCpuPercent = result.idleCpuPercent = idleCpuPercent(host.pid());
    if (!s.dashboardInFront) {
        if (!focusTestWindow(*window)) {
            result.error = "could not give the test window the focus";
            return result;
        }
        result.idleCpuPercent = idleCpuPercent(host.pid());
    }

    client::ClientOptions options;
    options.command = client::Command::Stream;
    options.port = ports.signaling;
    options.windows = {{std::nullopt, kWindowTitle}};
    options.seconds = s.warmupSeconds + s.seconds;
    options.audio = false;
    options.feedback = false;
    options.timeoutMs = 20000;
    std::ostringstream out, err;
    client::Reporter reporter(out, err, true);
    StampCollector collector(s, host.pid());
    client::ClientApp app(options, reporter);
    app.setPictureHook([&](const client::VideoDecoder& decoder) { collector.onPicture(decoder.luma()); });
    if (app.run(false) != client::ExitCode::Ok) {
        result.error = "the client failed: " + err.str() + "\nhost:\n" + host.tail();
        return result;
    }
    collector.fill(result);
    readHostLatency(host, result);
    host.signal(SIGTERM);
    host.exitCode(kStartDeadline);
    return result;
}

namespace {

// A listening loopback socket on an ephemeral port, closed on destruction.
class Listener {
public:
    Listener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, 1) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        if (connection_ >= 0) ::close(connection_);
        if (fd_ >= 0) ::close(fd_);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    std::uint16_t port() const { return port_; }
    void hangUp() {
        if (connection_ >= 0) ::close(connection_);
        connection_ = -1;
    }
    bool accept(std::chrono::milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, int(timeout.count())) != 1) return false;
        connection_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        return connection_ >= 0;
    }
    // Bytes received, 0 at the end of the stream, -1 on error or after the timeout.
    ssize_t receive(std::uint8_t* buffer, std::size_t size, std::chrono::milliseconds timeout) {
        pollfd p{connection_, POLLIN, 0};
        if (poll(&p, 1, int(timeout.count())) != 1) return -1;
        return recv(connection_, buffer, size, 0);
    }

private:
    int fd_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

std::vector<std::string> ffmpegCommand(const RunSettings& s, std::uint16_t port) {
    const char* display = std::getenv("DISPLAY");
    return {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin",
            "-f", "x11grab", "-draw_mouse", "0", "-framerate", std::to_string(s.grabFps),
            "-video_size", std::to_string(s.width) + "x" + std::to_string(s.height),
            "-i", std::string(display ? display : ":0") + "+0,0",
            "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency",
            "-b:v", std::to_string(s.bitrateKbps) + "k", "-maxrate", std::to_string(s.maxBitrateKbps) + "k",
            "-bufsize", std::to_string(s.maxBitrateKbps / s.grabFps) + "k", "-g", std::to_string(s.gopLength),
            "-pix_fmt", "yuv420p", "-flush_packets", "1", "-f", "flv",
            "tcp://127.0.0.1:" + std::to_string(port)};
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

RunResult runFfmpeg(const RunSettings& s) {
    RunResult result;
    auto window = startTestWindow(s, result.error);
    if (!result.error.empty()) return result;
    Listener listener;
    const auto command = ffmpegCommand(s, listener.port());
    result.command = joined(command);
    ChildProcess ffmpeg(command);
    if (!listener.accept(kStartDeadline)) {
        result.error = "ffmpeg did not connect: " + ffmpeg.output();
        return result;
    }
    client::VideoDecoder decoder;
    if (!decoder.open(result.error)) return result;
    StampCollector collector(s, ffmpeg.pid());
    FlvStream flv({[&](const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps) {
                       decoder.setParameterSets(sps, pps);
                   },
                   [&](const std::uint8_t* data, std::size_t size) {
                       std::string ignored;
                       if (decoder.decode(data, size, ignored)) collector.onPicture(decoder.luma());
                   }});
    std::vector<std::uint8_t> buffer(1 << 20);
    while (!collector.done()) {
        const ssize_t n = listener.receive(buffer.data(), buffer.size(), kStartDeadline);
        if (n <= 0) {
            result.error = "ffmpeg's stream ended: " + ffmpeg.output();
            return result;
        }
        if (!flv.push(buffer.data(), std::size_t(n))) {
            result.error = "cannot read ffmpeg's stream: " + flv.error();
            return result;
        }
    }
    collector.fill(result);
    listener.hangUp();  // ffmpeg may be blocked writing to us
    ffmpeg.signal(SIGTERM);
    ffmpeg.exitCode(kStartDeadline);
    return result;
}

bool ffmpegAvailable() {
    ChildProcess probe({"ffmpeg", "-hide_banner", "-encoders"});
    const int code = probe.exitCode(kStartDeadline);
    ChildProcess devices({"ffmpeg", "-hide_banner", "-devices"});
    return code == 0 && probe.output().find("libx264") != std::string::npos && devices.exitCode(kStartDeadline) == 0 &&
           devices.output().find("x11grab") != std::string::npos;
}

}  // namespace lumivane::bench
