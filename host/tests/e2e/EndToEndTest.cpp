// The whole system as a user runs it: the host binary on the test X server and PulseAudio
// null sink, an animated test window, and the reference client binary talking to the host
// over loopback. One host serves every case; each case is one client run.

#include "audio/TonePlayer.h"
#include "e2e/EndToEndSupport.h"
#include "main/HostSandbox.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <set>

namespace lumivane::host {
namespace {

using e2e::ClientEvents;
using nlohmann::json;
using namespace std::chrono_literals;

constexpr std::uint16_t kDiscoveryPort = 9877;  // fixed by the protocol
constexpr const char* kClientName = "e2e-client";
constexpr const char* kWindowTitle = "Lumivane E2E Window";
constexpr const char* kCoveredTitle = "Lumivane E2E Covered";
constexpr auto kDeadline = std::chrono::milliseconds(60s);
constexpr auto kEventDeadline = std::chrono::milliseconds(30s);

// True when something else holds the discovery port; the test's discovery would reach it.
bool discoveryPortTaken() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kDiscoveryPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool taken = fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
    if (fd >= 0) ::close(fd);
    return taken;
}

struct ClientResult {
    int exit = -1;
    ClientEvents events;
    std::string output;
};

class EndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setupError_ = start(); }
    static void TearDownTestSuite() {
        window_.reset();
        covered_.reset();
        sandbox_.reset();
    }
    void SetUp() override { ASSERT_TRUE(setupError_.empty()) << setupError_; }
    void TearDown() override {
        if (HasFailure() && setupError_.empty()) {
            std::printf("---- host output, last lines ----\n%s\n", sandbox_->host().tail(60).c_str());
        }
    }

    static std::string start() {
        for (const char* name : {"DISPLAY", "PULSE_SERVER"}) {
            const char* value = std::getenv(name);
            if (!value || !*value)
                return std::string(name) + " is not set: run under scripts/test, which starts Xvfb and PulseAudio";
        }
        if (discoveryPortTaken()) {
            return "UDP port 9877 (discovery, fixed) is held by another program on this machine, perhaps another "
                   "Lumivane host; stop it and run again";
        }
        // Clear of the host's own window (1400 x 900 at the origin), so that injected
        // pointer input lands on this one.
        window_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            LUMIVANE_TESTWINDOW_PATH, "--title", kWindowTitle, "--x", "1500", "--y", "100", "--interval", "10"});
        if (!window_->waitFor("frame 1\n", kDeadline)) return "the test window did not start:\n" + window_->output();
        windowId_ = e2e::reportedWindowId(window_->output());
        // Under the host's window, which maps later and so lies on top of it.
        covered_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            LUMIVANE_TESTWINDOW_PATH, "--title", kCoveredTitle, "--x", "300", "--y", "300", "--interval", "10"});
        if (!covered_->waitFor("frame 1\n", kDeadline)) return "the second test window did not start:\n" + covered_->output();
        coveredId_ = e2e::reportedWindowId(covered_->output());

        sandbox_ = std::make_unique<HostSandbox>("e2e");
        sandbox_->writeSettings();
        ChildProcess& host = sandbox_->startHost();
        if (!host.waitFor("entering main loop", kDeadline)) return "the host did not start:\n" + host.output();
        if (!e2e::focusFollowsPointer()) return "cannot open the X display";
        return "";
    }

    static ChildProcess& host() { return sandbox_->host(); }
    static std::vector<std::string> clientArgs(const std::string& command, std::vector<std::string> extra) {
        std::vector<std::string> args{LUMIVANE_CLIENT_PATH, command, "--json", "--name", kClientName};
        args.insert(args.end(), {"--timeout", "20000"});
        if (command != "discover") args.insert(args.end(), {"--port", std::to_string(sandbox_->ports().signaling)});
        if (command == "stream") args.insert(args.end(), {"--window", hexId(windowId_)});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    static std::string hexId(std::uint32_t id) {
        char text[16];
        std::snprintf(text, sizeof text, "%x", id);
        return text;
    }
    // A run that ends by itself (a count, a length, or a one-shot command).
    static ClientResult runClient(const std::string& command, std::vector<std::string> extra = {}) {
        ChildProcess client(clientArgs(command, std::move(extra)));
        return finish(client);
    }
    // Ends a running stream as Ctrl-C does: stream_stop, then close.
    static ClientResult stopClient(ChildProcess& client) {
        client.signal(SIGINT);
        return finish(client);
    }
    static ClientResult finish(ChildProcess& client) {
        ClientResult result;
        result.exit = client.exitCode(kDeadline);
        result.output = client.output();
        result.events = ClientEvents::parse(result.output);
        return result;
    }
    static inline std::unique_ptr<HostSandbox> sandbox_;
    static inline std::unique_ptr<ChildProcess> window_;
    static inline std::unique_ptr<ChildProcess> covered_;
    static inline std::uint32_t windowId_ = 0;
    static inline std::uint32_t coveredId_ = 0;
    static inline std::string setupError_;
};

TEST_F(EndToEndTest, DiscoveryAnswersAndTheListHoldsTheWindowWithItsIcon) {
    const auto discovered = runClient("discover");
    ASSERT_EQ(discovered.exit, 0) << discovered.output;
    const json answer = discovered.events.first("discovered");
    EXPECT_EQ(answer.value("port", 0), sandbox_->ports().signaling)
        << "another host answered on UDP 9877: " << answer.dump();
    char hostName[256] = {};
    gethostname(hostName, sizeof hostName - 1);
    EXPECT_EQ(answer.value("hostName", ""), hostName);
    EXPECT_TRUE(host().waitFor(std::string("Discovery request from 127.0.0.1 (") + kClientName + ")", kEventDeadline));

    const auto icons = sandbox_->root() / "icons";
    const auto listed = runClient("list", {"--icons", icons.string()});
    ASSERT_EQ(listed.exit, 0) << listed.output;
    json ours;
    const json list = listed.events.first("window_list");
    for (const auto& w : list["windows"]) {
        if (w["id"] == windowId_) ours = w;
    }
    ASSERT_FALSE(ours.is_null()) << "the test window is not listed: " << listed.output;
    EXPECT_EQ(ours["title"], kWindowTitle);
    EXPECT_EQ(ours["processName"], "lumivane-testwindow");
    EXPECT_TRUE(ours["icon"]);
    const auto icon = decodePng(e2e::readFile(icons / (hexId(windowId_) + ".png")));
    ASSERT_TRUE(icon) << "no icon saved for the test window";
    const std::uint32_t side = testwindow::kListedIconSide;
    ASSERT_EQ(icon->width, side);
    ASSERT_EQ(icon->height, side);
    int wrong = 0;
    for (std::uint32_t y = 0; y < side; ++y) {
        for (std::uint32_t x = 0; x < side; ++x) {
            const std::uint32_t argb = testwindow::iconPixel(x, y, side);
            const std::uint8_t* p = &icon->bgra[(y * side + x) * 4];
            wrong += p[0] != (argb & 0xFF) || p[1] != ((argb >> 8) & 0xFF) || p[2] != ((argb >> 16) & 0xFF);
        }
    }
    EXPECT_EQ(wrong, 0) << "icon pixels differ from the window's _NET_WM_ICON";
    EXPECT_TRUE(host().waitFor(std::string("Client at 127.0.0.1 is \"") + kClientName + "\"", kEventDeadline))
        << "the host did not take the name from hello";
}

TEST_F(EndToEndTest, StreamConfigPrecedesTheFirstKeyframeAndPicturesShowTheWindow) {
    const auto pictures = sandbox_->root() / "pictures";
    const auto run =
        runClient("stream", {"--frames", "100", "--save", pictures.string(), "--every", "10", "--no-audio"});
    ASSERT_EQ(run.exit, 0) << run.output;

    const auto& events = run.events;
    const int config = events.indexOf("stream_config", [](const json& e) { return e["ours"] == true; });
    const int keyframe = events.indexOf("keyframe");
    ASSERT_GE(config, 0) << run.output;
    ASSERT_GE(keyframe, 0) << run.output;
    EXPECT_LT(config, keyframe) << "stream_config must arrive before the first keyframe";
    EXPECT_EQ(events.events[std::size_t(keyframe)]["order"], "in order");
    const json summary = events.first("summary");
    EXPECT_GE(summary.value("pictures", 0), 100);
    EXPECT_EQ(summary.value("decodeErrors", -1), 0);
    EXPECT_EQ(summary.value("violations", -1), 0);

    // The window animates, so the saved pictures must show several different frames.
    std::set<std::uint32_t> frames;
    int saved = 0;
    for (const auto& entry : fs::directory_iterator(pictures)) {
        const auto picture = decodePng(e2e::readFile(entry.path()));
        ASSERT_TRUE(picture) << entry.path();
        const auto match = e2e::matchPattern(*picture, 320, 240);
        EXPECT_LT(match.meanLumaError, 4.0) << entry.path() << " does not show the test window's pattern";
        frames.insert(match.frame);
        ++saved;
    }
    EXPECT_EQ(saved, 10) << run.output;
    EXPECT_GE(frames.size(), 3u) << "the pictures do not follow the window's animation";

    // The run ended with stream_stop: the host stopped that stream.
    ASSERT_GE(events.indexOf("stream_stopped"), 0) << run.output;
    const auto stream = std::to_string(events.first("stream_started").value("streamId", 0));
    EXPECT_TRUE(host().waitFor("Client requested to stop stream " + stream, kEventDeadline));
    EXPECT_TRUE(host().waitFor("Stopped capture for stream " + stream, kEventDeadline));
}

TEST_F(EndToEndTest, CongestionLowersTheBitrateAndAGoodLinkRestoresIt) {
    const auto mark = host().output().size();
    ChildProcess client(clientArgs("stream", {"--no-audio", "--seconds", "120", "--feedback-interval", "200",
                                              "--feedback", "0-3 rtt=80, 3- rtt=5 decode=2"}));
    // Congestion lowers the bitrate step by step; an update above the lowest after that
    // is the recovery.
    const std::regex lowered(R"(Network congestion \(RTT=80ms, decode=\d+ms\), reducing bitrate \d+ -> (\d+) kbps)");
    const std::regex updated(R"(Bitrate updated to (\d+) /)");
    const bool restored = host().waitUntil(
        [&](const std::string& all) {
            std::istringstream lines(all.substr(mark));
            unsigned long lowest = 0;
            std::smatch m;
            for (std::string line; std::getline(lines, line);) {
                if (std::regex_search(line, m, lowered)) lowest = std::stoul(m[1]);
                else if (lowest > 0 && std::regex_search(line, m, updated) && std::stoul(m[1]) > lowest) return true;
            }
            return false;
        },
        kDeadline);
    const auto run = stopClient(client);
    EXPECT_TRUE(restored) << "expected \"Network congestion\" and then a higher bitrate in the host log";
    EXPECT_EQ(run.exit, 0) << run.output;
}

TEST_F(EndToEndTest, ScriptedInputReachesTheWindow) {
    const auto mark = window_->output().size();
    ChildProcess client(clientArgs("stream", {"--no-audio", "--seconds", "120", "--input-script",
                                              "move 80 60; click; type \"ok\"; key enter"}));
    const bool arrived = window_->waitUntil(
        [&](const std::string& all) {
            const std::string out = all.substr(mark);
            for (const char* line : {"button_press button=1 x=80 y=60", "button_release button=1", "keysym=o\n",
                                     "keysym=k\n", "key_release keycode"}) {
                if (out.find(line) == std::string::npos) return false;
            }
            return out.find("keysym=Return") != std::string::npos;
        },
        kDeadline);
    const auto run = stopClient(client);
    EXPECT_TRUE(arrived) << "the window reported:\n" << e2e::withoutFrameLines(window_->output().substr(mark));
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_TRUE(run.events.first("summary").value("inputFinished", false)) << run.output;
}

// The headline use: two windows in one session, one of them under the host's own dashboard.
// Each script's clicks and text reach its own window, as typed.
TEST_F(EndToEndTest, TwoWindowsStreamAtOnceAndInputToEachReachesItsOwnWindow) {
    const auto mark = window_->output().size(), coveredMark = covered_->output().size();
    ChildProcess client(clientArgs("stream", {"--window", hexId(coveredId_), "--no-audio", "--seconds", "120",
                                              "--input-script", "move 80 60; click; type \"Ab!\"",
                                              "--input-script", "move 40 30; click; type \"Zy?\u00e9\""}));
    auto typed = [](ChildProcess& window, std::size_t from, const std::string& text) {
        return window.waitUntil([&](const std::string& all) { return e2e::typedText(all.substr(from)) == text; },
                                kDeadline);
    };
    const bool first = typed(*window_, mark, "Ab!");
    const bool second = typed(*covered_, coveredMark, "Zy?\xC3\xA9");
    const auto run = stopClient(client);
    const auto firstOut = window_->output().substr(mark), secondOut = covered_->output().substr(coveredMark);
    EXPECT_TRUE(first) << "typed: " << e2e::typedText(firstOut);
    EXPECT_TRUE(second) << "typed: " << e2e::typedText(secondOut);
    EXPECT_NE(firstOut.find("button_press button=1 x=80 y=60"), std::string::npos) << e2e::withoutFrameLines(firstOut);
    EXPECT_NE(secondOut.find("button_press button=1 x=40 y=30"), std::string::npos)
        << "the click meant for the covered window: " << e2e::withoutFrameLines(secondOut);

    EXPECT_EQ(run.exit, 0) << run.output;
    const auto summaries = run.events.all("summary");
    ASSERT_EQ(summaries.size(), 2u) << run.output;
    std::set<std::uint32_t> windows;
    for (const auto& summary : summaries) {
        windows.insert(summary.value("windowId", 0u));
        EXPECT_GT(summary.value("pictures", 0), 0) << summary.dump();
        EXPECT_EQ(summary.value("violations", -1), 0);
        EXPECT_TRUE(summary.value("inputFinished", false)) << summary.dump();
    }
    EXPECT_EQ(windows, (std::set<std::uint32_t>{windowId_, coveredId_}));
}

TEST_F(EndToEndTest, ResizeBringsANewConfigBeforeTheNextKeyframe) {
    ChildProcess client(clientArgs("stream", {"--no-audio", "--seconds", "120", "--resize", "400x300"}));
    const bool resizedKeyframe = client.waitUntil(
        [](const std::string& out) {
            return ClientEvents::parse(out).indexOf("keyframe", [](const json& e) { return e["width"] == 400; }) >= 0;
        },
        kDeadline);
    const auto run = stopClient(client);
    ASSERT_TRUE(resizedKeyframe) << run.output;
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_TRUE(window_->waitFor("size 400 300", kEventDeadline));

    const auto& events = run.events;
    const int answer = events.indexOf("window_resized");
    ASSERT_GE(answer, 0);
    EXPECT_EQ(events.events[std::size_t(answer)]["success"], true);
    const int config =
        events.indexOf("stream_config", [](const json& e) { return e["width"] == 400 && e["height"] == 300; });
    const int keyframe = events.indexOf("keyframe", [](const json& e) { return e["width"] == 400; });
    ASSERT_GE(config, 0) << run.output;
    EXPECT_LT(config, keyframe) << "the new stream_config must arrive before the keyframe at the new size";
    EXPECT_EQ(events.events[std::size_t(keyframe)]["order"], "in order");
    EXPECT_EQ(events.indexOf("violation"), -1) << run.output;
}

TEST_F(EndToEndTest, ToneInTheSinkArrivesAsOpusOf440Hz) {
    TonePlayer tone(440.0);
    ASSERT_TRUE(tone.ok()) << "pacat could not be started";
    const auto wav = sandbox_->root() / "sound.wav";
    const auto run = runClient("stream", {"--seconds", "3", "--audio-out", wav.string()});
    ASSERT_EQ(run.exit, 0) << run.output;
    const json summary = run.events.first("summary");
    EXPECT_GT(summary.value("audioPackets", 0), 0);
    EXPECT_EQ(summary.value("audioDecodeErrors", -1), 0);
    const auto heard = e2e::analyseWav(e2e::readFile(wav));
    EXPECT_GE(heard.seconds, 1.0) << "too little of the tone arrived";
    EXPECT_NEAR(heard.hz, 440.0, 440.0 * 0.02);
}

// Last: it ends the host the other cases share.
TEST_F(EndToEndTest, SigtermEndsTheHostWithExitCodeZero) {
    host().signal(SIGTERM);
    EXPECT_EQ(host().exitCode(kDeadline), 0);
    const std::string out = host().output();
    EXPECT_NE(out.find("Application shutdown complete"), std::string::npos);
    EXPECT_NE(out.find("Lumivane Host exiting"), std::string::npos);
}

}  // namespace
}  // namespace lumivane::host
