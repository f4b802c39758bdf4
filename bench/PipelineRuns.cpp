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
#include <mutex>
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

std::string windowTitle(std::uint32_t index) { return std::string(kWindowTitle) + " " + std::to_string(index + 1); }

// The sender's CPU time over the measured stretch: started by the first picture after the
// warm-up, read at most every 250 ms after that.
class CpuMeter {
public:
    explicit CpuMeter(std::vector<pid_t> senders) : senders_(std::move(senders)) {}

    void onPicture(Clock::time_point now) {
        if (!started_) {
            started_ = true;
            start_ = lastRead_ = now;
            startCpu_ = lastCpu_ = read();
        } else if (now - lastRead_ >= 250ms) {
            lastRead_ = now;
            lastCpu_ = read();
        }
    }
    double percent() const {
        const double span = std::chrono::duration<double>(lastRead_ - start_).count();
        return span > 0 && startCpu_ >= 0 ? 100 * (lastCpu_ - startCpu_) / span : 0;
    }

private:
    double read() const {
        double sum = 0;
        for (pid_t pid : senders_) sum += processCpuSeconds(pid);
        return sum;
    }
    std::vector<pid_t> senders_;
    bool started_ = false;
    Clock::time_point start_, lastRead_;
    double startCpu_ = 0, lastCpu_ = 0;
};

// Every decoded picture of one window goes through here: its stamp's age once the
// warm-up is over, and the picture rate.
class StampCollector {
public:
    StampCollector(const RunSettings& settings, CpuMeter& cpu) : settings_(settings), cpu_(cpu) {}

    void onPicture(const client::VideoDecoder::Luma& luma) {
        const auto now = Clock::now();
        if (!first_) first_ = now;
        if (now - *first_ < std::chrono::duration<double>(settings_.warmupSeconds)) return;
        if (!measuring_) {
            measuring_ = true;
            start_ = now;
        }
        cpu_.onPicture(now);
        ++pictures_;
        last_ = now;
        const auto stamp = testwindow::readStamp(luma.data, std::size_t(luma.stride), luma.width, luma.height);
        if (!stamp) {
            ++unreadable_;
        } else {
            const auto age = testwindow::stampAgeMicros(*stamp, testwindow::monotonicMicros());
            ages_.values.push_back(double(age) / 1000.0);
        }
    }

    bool done() const {
        return measuring_ && std::chrono::duration<double>(last_ - start_).count() >= settings_.seconds;
    }

    bool fill(StreamResult& result) const {
        if (!measuring_) return false;
        const double span = std::chrono::duration<double>(last_ - start_).count();
        result.fps = span > 0 ? double(pictures_ - 1) / span : 0;
        result.glassToGlassMs = ages_;
        result.unreadable = unreadable_;
        return true;
    }

private:
    const RunSettings& settings_;
    CpuMeter& cpu_;
    std::optional<Clock::time_point> first_;
    bool measuring_ = false;
    Clock::time_point start_, last_;
    std::uint64_t pictures_ = 0, unreadable_ = 0;
    Samples ages_;
};

void fillResult(const std::vector<std::unique_ptr<StampCollector>>& collectors, const CpuMeter& cpu,
                RunResult& result) {
    result.streams.resize(collectors.size());
    for (std::size_t i = 0; i < collectors.size(); ++i) {
        if (!collectors[i]->fill(result.streams[i])) {
            result.error = "no pictures after the warm-up on window " + std::to_string(i + 1);
            return;
        }
    }
    result.cpuPercent = cpu.percent();
}

// Side by side along the top of the screen.
std::unique_ptr<ChildProcess> startTestWindow(const RunSettings& s, std::uint32_t index, bool animated,
                                              std::string& error) {
    std::vector<std::string> args{LUMIVANE_TESTWINDOW_PATH, "--title", windowTitle(index), "--width",
                                  std::to_string(s.width), "--height", std::to_string(s.height), "--x",
                                  std::to_string(index * s.width), "--stamp"};
    if (animated) {
        args.push_back("--interval");
        args.push_back(std::to_string(1000.0 / s.paintFps));
    }
    auto window = std::make_unique<ChildProcess>(args);
    if (!window->waitFor("frame 1\n", kStartDeadline) && !window->waitFor("frame 0\n", 1s))
        error = "the test window did not start: " + window->output();
    return window;
}

std::vector<std::unique_ptr<ChildProcess>> startTestWindows(const RunSettings& s, bool animated, std::string& error) {
    std::vector<std::unique_ptr<ChildProcess>> windows;
    for (std::uint32_t i = 0; i < s.windows && error.empty(); ++i) windows.push_back(startTestWindow(s, i, animated, error));
    return windows;
}

// The host's own summary of each stream, logged when the stream stops; streams are
// numbered in the order the client started them.
void readHostLatency(ChildProcess& host, RunResult& result) {
    const std::string marker = "frame latency (arrival to socket)";
    host.waitUntil(
        [&](const std::string& out) {
            std::size_t count = 0;
            for (auto at = out.find(marker); at != std::string::npos; at = out.find(marker, at + 1)) ++count;
            return count >= result.streams.size();
        },
        kStartDeadline);
    const std::regex line(R"(Stream (\d+) frame latency \(arrival to socket\): \d+ frames, median ([\d.]+) ms, p99 ([\d.]+) ms)");
    const std::string out = host.output();
    std::vector<std::smatch> found;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
        found.push_back(*it);
    std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) { return std::stoi(x[1]) < std::stoi(y[1]); });
    for (std::size_t i = 0; i < found.size() && i < result.streams.size(); ++i) {
        result.streams[i].hostMedianMs = std::stod(found[i][2]);
        result.streams[i].hostP99Ms = std::stod(found[i][3]);
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

namespace {

// The host in its sandbox, settled with nothing streaming: its idle figures filled in.
struct HostRun {
    host::HostSandbox sandbox{"bench"};
    host::HostPorts ports;
    ChildProcess* process = nullptr;
};

bool startHost(const RunSettings& s, const ChildProcess& focusWindow, HostRun& run, RunResult& result) {
    run.ports = run.sandbox.writeSettings(",\"targetFps\":" + std::to_string(s.hostFps) +
                                          ",\"targetBitrate\":" + std::to_string(s.bitrateKbps) +
                                          ",\"maxBitrate\":" + std::to_string(s.maxBitrateKbps));
    run.process = s.hostBinary.empty() ? &run.sandbox.startHost() : &run.sandbox.startHost({}, s.hostBinary);
    result.command = "lumivane-host (" + std::to_string(s.hostFps) + " fps, " + std::to_string(s.bitrateKbps) + " / " +
                     std::to_string(s.maxBitrateKbps) + " kbit/s, software x264)";
    if (!run.process->waitFor("entering main loop", kStartDeadline)) {
        result.error = "the host did not start:\n" + run.process->tail();
        return false;
    }
    // What the host costs with nothing to stream: its dashboard window's loop, in front
    // and behind.
    result.idleFrontCpuPercent = result.idleCpuPercent = idleCpuPercent(run.process->pid());
    if (!s.dashboardInFront) {
        if (!focusTestWindow(focusWindow)) {
            result.error = "could not give the test window the focus";
            return false;
        }
        result.idleCpuPercent = idleCpuPercent(run.process->pid());
    }
    return true;
}

client::ClientOptions streamOptions(const RunSettings& s, std::uint16_t port, double seconds) {
    client::ClientOptions options;
    options.command = client::Command::Stream;
    options.port = port;
    for (std::uint32_t i = 0; i < s.windows; ++i) options.windows.push_back({std::nullopt, windowTitle(i)});
    options.seconds = seconds;
    options.audio = false;
    options.feedback = false;
    options.timeoutMs = 20000;
    return options;
}

}  // namespace

RunResult runLumivane(const RunSettings& s) {
    RunResult result;
    auto windows = startTestWindows(s, true, result.error);
    if (!result.error.empty()) return result;
    HostRun run;
    if (!startHost(s, *windows.front(), run, result)) return result;
    ChildProcess& host = *run.process;

    const client::ClientOptions options = streamOptions(s, run.ports.signaling, s.warmupSeconds + s.seconds);
    std::ostringstream out, err;
    client::Reporter reporter(out, err, true);
    CpuMeter cpu({host.pid()});
    std::vector<std::unique_ptr<StampCollector>> collectors;
    for (std::uint32_t i = 0; i < s.windows; ++i) collectors.push_back(std::make_unique<StampCollector>(s, cpu));
    client::ClientApp app(options, reporter);
    app.setPictureHook([&](std::size_t window, const client::VideoDecoder& decoder) {
        if (window < collectors.size()) collectors[window]->onPicture(decoder.luma());
    });
    if (app.run(false) != client::ExitCode::Ok) {
        result.error = "the client failed: " + err.str() + "\nhost:\n" + host.tail();
        return result;
    }
    fillResult(collectors, cpu, result);
    readHostLatency(host, result);
    host.signal(SIGTERM);
    host.exitCode(kStartDeadline);
    return result;
}

RunResult runStillWindow(const RunSettings& s) {
    RunResult result;
    RunSettings one = s;
    one.windows = 1;
    auto windows = startTestWindows(one, false, result.error);
    if (!result.error.empty()) return result;
    HostRun run;
    if (!startHost(one, *windows.front(), run, result)) return result;
    ChildProcess& host = *run.process;
    const double seconds = 4;
    const client::ClientOptions options = streamOptions(one, run.ports.signaling, seconds);
    std::ostringstream out, err;
    client::Reporter reporter(out, err, true);
    client::ClientApp app(options, reporter);
    std::thread client([&] {
        if (app.run(false) != client::ExitCode::Ok) result.error = "the client failed: " + err.str();
    });
    // The first picture and the stream's start are over after a second.
    result.cpuPercent = idleCpuPercent(host.pid());
    client.join();
    host.signal(SIGTERM);
    host.exitCode(kStartDeadline);
    return result;
}

DragResult runDrag(const RunSettings& s) {
    DragResult drag;
    RunResult result;
    RunSettings one = s;
    one.windows = 1;
    one.width = 1280;
    one.height = 720;
    auto windows = startTestWindows(one, true, result.error);
    HostRun run;
    if (result.error.empty()) startHost(one, *windows.front(), run, result);
    if (!result.error.empty()) {
        drag.error = result.error;
        return drag;
    }
    std::smatch idMatch;
    const std::string windowOutput = windows.front()->output();
    std::regex_search(windowOutput, idMatch, std::regex("window (0x[0-9a-f]+)"));
    const Window window = Window(std::stoul(idMatch[1], nullptr, 16));

    // Sizes during the drag never equal the final one, which is a multiple of 16, so the
    // decoded picture shows it unpadded.
    constexpr std::uint32_t kFinalWidth = 1232, kFinalHeight = 704;
    std::mutex mutex;
    std::optional<Clock::time_point> lastChange, finalShown;
    ChildProcess& host = *run.process;
    const client::ClientOptions options = streamOptions(one, run.ports.signaling, 5);
    std::ostringstream out, err;
    client::Reporter reporter(out, err, true);
    client::ClientApp app(options, reporter);
    app.setPictureHook([&](std::size_t, const client::VideoDecoder& decoder) {
        const auto luma = decoder.luma();
        std::lock_guard lock(mutex);
        if (lastChange && !finalShown && std::uint32_t(luma.width) == kFinalWidth &&
            std::uint32_t(luma.height) == kFinalHeight)
            finalShown = Clock::now();
    });
    std::thread dragger([&] {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return;
        std::this_thread::sleep_for(1s);  // the stream runs
        const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / s.paintFps));
        auto due = Clock::now();
        const int changes = int(2 * s.paintFps);
        for (int i = 0; i <= changes; ++i) {
            const bool last = i == changes;
            XResizeWindow(display, window, last ? kFinalWidth : 1040 + (i % 20) * 8, last ? kFinalHeight : 600 + (i % 10) * 8);
            XSync(display, False);
            if (last) {
                std::lock_guard lock(mutex);
                lastChange = Clock::now();
            }
            drag.sizeChanges = i + 1;
            due += interval;
            std::this_thread::sleep_until(due);
        }
        XCloseDisplay(display);
    });
    const bool ok = app.run(false) == client::ExitCode::Ok;
    dragger.join();
    if (!ok) drag.error = "the client failed: " + err.str();
    const std::string log = host.output();
    const std::string marker = "recreating encoder";
    for (auto at = log.find(marker); at != std::string::npos; at = log.find(marker, at + 1)) ++drag.encoderRebuilds;
    if (lastChange && finalShown)
        drag.finalShownMs = std::chrono::duration<double, std::milli>(*finalShown - *lastChange).count();
    host.signal(SIGTERM);
    host.exitCode(kStartDeadline);
    return drag;
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
    int connection() const { return connection_; }
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

std::vector<std::string> ffmpegCommand(const RunSettings& s, std::uint32_t window, std::uint16_t port) {
    const char* display = std::getenv("DISPLAY");
    return {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin",
            "-f", "x11grab", "-draw_mouse", "0", "-framerate", std::to_string(s.grabFps),
            "-video_size", std::to_string(s.width) + "x" + std::to_string(s.height),
            "-i", std::string(display ? display : ":0") + "+" + std::to_string(window * s.width) + ",0",
            "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency",
            "-b:v", std::to_string(s.bitrateKbps) + "k", "-maxrate", std::to_string(s.maxBitrateKbps) + "k",
            "-bufsize", std::to_string(s.maxBitrateKbps / s.grabFps) + "k", "-g", std::to_string(s.gopLength),
            // Our GOP: fixed length, no scene cuts. -r gives the encoder the frame rate, which
            // x11grab's time base does not (without it x264 budgets for a million frames a second).
            "-keyint_min", std::to_string(s.gopLength), "-sc_threshold", "0", "-r", std::to_string(s.grabFps),
            "-pix_fmt", "yuv420p", "-flush_packets", "1", "-f", "flv",
            "tcp://127.0.0.1:" + std::to_string(port)};
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

namespace {

// One ffmpeg grabbing one window, and what the bench decodes of its stream.
struct FfmpegStream {
    Listener listener;
    std::unique_ptr<ChildProcess> process;
    client::VideoDecoder decoder;
    std::unique_ptr<FlvStream> flv;
};

}  // namespace

RunResult runFfmpeg(const RunSettings& s) {
    RunResult result;
    auto windows = startTestWindows(s, true, result.error);
    if (!result.error.empty()) return result;
    std::vector<std::unique_ptr<FfmpegStream>> streams;
    std::vector<pid_t> pids;
    for (std::uint32_t i = 0; i < s.windows; ++i) {
        auto stream = std::make_unique<FfmpegStream>();
        const auto command = ffmpegCommand(s, i, stream->listener.port());
        result.command = joined(command);
        stream->process = std::make_unique<ChildProcess>(command);
        pids.push_back(stream->process->pid());
        streams.push_back(std::move(stream));
    }
    CpuMeter cpu(pids);
    std::vector<std::unique_ptr<StampCollector>> collectors;
    for (auto& stream : streams) {
        if (!stream->listener.accept(kStartDeadline)) {
            result.error = "ffmpeg did not connect: " + stream->process->output();
            return result;
        }
        if (!stream->decoder.open(result.error)) return result;
        collectors.push_back(std::make_unique<StampCollector>(s, cpu));
        auto* decoder = &stream->decoder;
        auto* collector = collectors.back().get();
        stream->flv = std::make_unique<FlvStream>(FlvStream::Handlers{
            [decoder](const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps) {
                decoder->setParameterSets(sps, pps);
            },
            [decoder, collector](const std::uint8_t* data, std::size_t size) {
                std::string ignored;
                if (decoder->decode(data, size, ignored)) collector->onPicture(decoder->luma());
            }});
    }
    const auto allDone = [&] {
        return std::all_of(collectors.begin(), collectors.end(), [](const auto& c) { return c->done(); });
    };
    std::vector<std::uint8_t> buffer(1 << 20);
    std::vector<pollfd> fds;
    for (auto& stream : streams) fds.push_back({stream->listener.connection(), POLLIN, 0});
    while (!allDone()) {
        if (poll(fds.data(), fds.size(), int(kStartDeadline.count())) <= 0) {
            result.error = "ffmpeg sent nothing for too long";
            return result;
        }
        for (std::size_t i = 0; i < streams.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = recv(fds[i].fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                result.error = "ffmpeg's stream ended: " + streams[i]->process->output();
                return result;
            }
            if (!streams[i]->flv->push(buffer.data(), std::size_t(n))) {
                result.error = "cannot read ffmpeg's stream: " + streams[i]->flv->error();
                return result;
            }
        }
    }
    fillResult(collectors, cpu, result);
    for (auto& stream : streams) {
        stream->listener.hangUp();  // ffmpeg may be blocked writing to us
        stream->process->signal(SIGTERM);
        stream->process->exitCode(kStartDeadline);
    }
    return result;
}

double RunResult::totalFps() const {
    double sum = 0;
    for (const auto& stream : streams) sum += stream.fps;
    return sum;
}

double RunResult::cpuMsPerFrame() const {
    const double fps = totalFps();
    return fps > 0 ? 10 * cpuPercent / fps : 0;
}

bool ffmpegAvailable() {
    ChildProcess probe({"ffmpeg", "-hide_banner", "-encoders"});
    const int code = probe.exitCode(kStartDeadline);
    ChildProcess devices({"ffmpeg", "-hide_banner", "-devices"});
    return code == 0 && probe.output().find("libx264") != std::string::npos && devices.exitCode(kStartDeadline) == 0 &&
           devices.output().find("x11grab") != std::string::npos;
}

}  // namespace lumivane::bench
