// The client's classes against the host's real servers on loopback.

#include "ClientRun.h"
#include "FakeHost.h"
#include "capture/PngDecode.h"
#include "network/DiscoveryResponder.h"
#include "core/LittleEndian.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace lumivane::client::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("lvclient-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++))) {
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Left-channel frequency of a 16-bit stereo WAV, from its rising zero crossings.
double dominantHz(const std::vector<std::uint8_t>& wav, double& seconds) {
    const std::size_t frames = host::loadLe32(wav.data() + 40) / 4;
    seconds = frames / 48000.0;
    int rising = 0;
    std::int16_t previous = 0;
    for (std::size_t i = 480; i < frames; ++i) {  // skip the decoder's start-up
        const auto s = static_cast<std::int16_t>(host::loadLe16(wav.data() + 44 + 4 * i));
        rising += previous < 0 && s >= 0;
        previous = s;
    }
    return rising / ((frames - 480) / 48000.0);
}

TEST(ClientSessionTest, ListShowsWindowsWithTheRealPortsAndSavesIcons) {
    FakeHost host;
    TempDir icons;
    auto options = host.clientOptions(Command::List);
    options.iconDir = icons.path().string();
    const auto run = runClient(options);

    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;
    EXPECT_EQ(run.first("welcome")["videoPort"], host.videoPort());
    const auto list = run.first("window_list");
    ASSERT_EQ(list["count"], 2);
    EXPECT_EQ(list["windows"][0]["title"], "Editor - notes.txt");
    EXPECT_TRUE(list["windows"][0]["icon"]);
    EXPECT_FALSE(list["windows"][1]["icon"]);
    EXPECT_NE(run.text.find("Editor - notes.txt"), std::string::npos) << "the table names the window";
    auto icon = host::decodePng(readFile(icons / "10.png"));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 16u);
    EXPECT_EQ(host.streamStarts(), 0);
}

TEST(ClientSessionTest, DiscoveryFirstSuppliesTheSignallingPort) {
    FakeHost host;
    auto options = host.clientOptions(Command::List);
    host::DiscoveryResponder responder("test-host", options.port, 0);
    ASSERT_TRUE(responder.start());
    options.port = 1;  // wrong on purpose: the answer's port must be used
    options.discoverFirst = true;
    options.discoveryPort = responder.port();
    const auto run = runClient(options);
    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;
    EXPECT_EQ(run.first("discovered")["hostName"], "test-host");
    EXPECT_EQ(run.first("window_list")["count"], 2);

    options.command = Command::Discover;
    responder.stop();
    options.timeoutMs = 200;
    EXPECT_EQ(runClient(options).exit, ExitCode::Unreachable) << "no answer is an error for discover";
}

TEST(ClientSessionTest, StreamDecodesSavesPicturesAndSoundThenStops) {
    FakeHost host;
    TempDir out;
    auto options = host.clientOptions(Command::Stream);
    options.windows = {{std::nullopt, "editor"}};
    options.frames = 30;
    options.saveDir = (out / "frames").string();
    options.saveEvery = 10;
    options.audioOut = (out / "sound.wav").string();
    const auto run = runClient(options);

    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;
    const auto started = run.first("stream_started");
    ASSERT_EQ(started["windowId"], kEditorId);
    const int config = run.indexOf("stream_config", [](const json& e) { return e["ours"] == true; });
    const int keyframe = run.indexOf("keyframe");
    ASSERT_GE(config, 0);
    ASSERT_GT(keyframe, config) << "stream_config is reported before the keyframe";
    EXPECT_EQ(run.events[keyframe]["order"], "in order");
    EXPECT_EQ(run.events[config]["width"], kWidth);

    const auto summary = run.first("summary");
    EXPECT_GE(summary["pictures"], 30);
    EXPECT_EQ(summary["violations"], 0);
    EXPECT_EQ(summary["decodeErrors"], 0);
    EXPECT_FALSE(run.all("stats").empty());
    EXPECT_EQ(host.stoppedStreams(), std::vector<std::uint8_t>{started["streamId"].get<std::uint8_t>()});
    ASSERT_FALSE(run.all("stream_stopped").empty());

    auto picture = host::decodePng(readFile(out / "frames" / "frame-000011.png"));
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width, kWidth);
    const auto* left = &picture->bgra[(120 * kWidth + 40) * 4];
    const auto* right = &picture->bgra[(120 * kWidth + 280) * 4];
    EXPECT_NEAR(left[2], 200, 20) << "red half";
    EXPECT_NEAR(right[0], 200, 20) << "blue half";
    EXPECT_TRUE(fs::exists(out / "frames" / "frame-000021.png"));
    EXPECT_FALSE(fs::exists(out / "frames" / "frame-000002.png"));

    const auto wav = readFile(out / "sound.wav");
    ASSERT_GT(wav.size(), 44u + 48000u / 10u * 4u) << "at least 0.1 s of sound";
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(host::loadLe32(wav.data() + 40), wav.size() - 44) << "sizes patched on close";
    double seconds = 0;
    EXPECT_NEAR(dominantHz(wav, seconds), kToneHz, kToneHz * 0.03);
    EXPECT_NEAR(summary["audioSeconds"].get<double>(), seconds, 0.001);
}

// Measuring tools read each decoded picture as it comes, before the next decode.
TEST(ClientSessionTest, PictureHookSeesEveryDecodedPicture) {
    FakeHost host;
    auto options = host.clientOptions(Command::Stream);
    options.windows = {{std::nullopt, "editor"}};
    options.frames = 10;
    options.audio = false;
    int pictures = 0;
    int leftLuma = 0, rightLuma = 0;
    const auto run = runClient(options, [&](const VideoDecoder& decoder) {
        const auto luma = decoder.luma();
        ASSERT_NE(luma.data, nullptr);
        ASSERT_EQ(luma.width, int(kWidth));
        ASSERT_GE(luma.stride, luma.width);
        ++pictures;
        leftLuma = luma.data[120 * luma.stride + 40];
        rightLuma = luma.data[120 * luma.stride + 280];
    });
    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;
    EXPECT_EQ(pictures, run.first("summary")["pictures"].get<int>());
    EXPECT_GE(pictures, 10);
    EXPECT_NE(leftLuma, rightLuma) << "red and blue halves differ in brightness";
}

TEST(ClientSessionTest, KeyframesWithoutTheirConfigAreViolations) {
    {
        FakeHost host({.sendConfig = false});
        auto options = host.clientOptions(Command::Stream);
        options.windows = {{kEditorId, ""}};
        options.frames = 5;
        const auto run = runClient(options);
        EXPECT_EQ(run.exit, ExitCode::ProtocolViolation) << run.text;
        ASSERT_FALSE(run.all("violation").empty());
        EXPECT_NE(run.first("violation")["message"].get<std::string>().find("before any stream_config"), std::string::npos);
        EXPECT_GE(run.first("summary")["pictures"], 5) << "in-band parameter sets still decode";
    }
    {
        FakeHost host({.sendConfigOnResize = false});
        auto options = host.clientOptions(Command::Stream);
        options.windows = {{kEditorId, ""}};
        options.frames = 40;
        options.resize = std::pair{400u, 304u};
        const auto run = runClient(options);
        EXPECT_EQ(run.exit, ExitCode::ProtocolViolation) << run.text;
        EXPECT_NE(run.first("violation")["message"].get<std::string>().find("last one said 320x240"), std::string::npos)
            << run.text;
    }
}

TEST(ClientSessionTest, ResizeIsAnsweredAndItsConfigPrecedesTheNewKeyframe) {
    FakeHost host;
    auto options = host.clientOptions(Command::Stream);
    options.windows = {{kEditorId, ""}};
    options.frames = 40;
    options.resize = std::pair{400u, 304u};
    const auto run = runClient(options);

    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;
    ASSERT_EQ(host.resizes().size(), 1u);
    EXPECT_EQ(host.resizes()[0].windowId, kEditorId);
    EXPECT_EQ(host.resizes()[0].width, 400u);
    EXPECT_TRUE(run.first("window_resized")["success"]);
    const int config = run.indexOf("stream_config", [](const json& e) { return e["width"] == 400; });
    const int keyframe = run.indexOf("keyframe", [](const json& e) { return e["width"] == 400; });
    ASSERT_GE(config, 0) << run.text;
    ASSERT_GT(keyframe, config) << run.text;
    EXPECT_EQ(run.events[keyframe]["height"], 304);
}

TEST(ClientSessionTest, FeedbackFollowsTheScheduleAndScriptedInputArrivesInOrder) {
    FakeHost host;
    auto options = host.clientOptions(Command::Stream);
    options.windows = {{std::nullopt, "Terminal"}};
    options.seconds = 1.0;
    options.feedbackIntervalMs = 50;
    std::string error;
    options.feedbackSchedule = FeedbackSchedule::parse("0-0.4 rtt=80 decode=40, 0.4- rtt=5", error);
    auto script = InputScript::parse("move 50% 50%; click right\ntype \"h\xC3\xA9\"; key ctrl+s; move 10 20; wheel -120", error);
    ASSERT_TRUE(script && options.feedbackSchedule) << error;
    options.inputs = {*script};
    const auto run = runClient(options);
    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;

    const auto feedback = host.feedback();
    ASSERT_GE(feedback.size(), 10u);
    EXPECT_EQ(feedback.front().rttMs, 80);
    EXPECT_EQ(feedback.front().decodeMs, 40);
    EXPECT_EQ(feedback.back().rttMs, 5);
    EXPECT_LT(feedback.back().decodeMs, 40) << "measured once the schedule leaves it out";

    const auto in = host.inputEvents();
    ASSERT_EQ(in.size(), 9u);
    EXPECT_EQ(in[0].type, 1);
    EXPECT_EQ(in[0].action, 1);
    EXPECT_EQ(in[0].x, 32768);
    EXPECT_EQ(in[1].action, 2);
    EXPECT_EQ(in[1].code, 1);
    EXPECT_EQ(in[2].action, 3);
    EXPECT_EQ(in[3].type, 2);
    EXPECT_EQ(in[3].action, 3);
    EXPECT_EQ(in[3].x, 'h');
    EXPECT_EQ(in[4].x, 0xE9);
    EXPECT_EQ(in[5].code, 'S');
    EXPECT_EQ(in[5].modifiers, 2);
    EXPECT_EQ(in[6].modifiers, 0);
    // The terminal is 800x600: the host maps 800 * x / 65535 back onto pixel 10.
    EXPECT_EQ(800 * in[7].x / 65535, 10);
    EXPECT_EQ(600 * in[7].y / 65535, 20);
    EXPECT_EQ(in[8].wheelDelta, -120);
    EXPECT_EQ(in[8].x, in[7].x) << "the wheel acts where the pointer is";
    EXPECT_TRUE(run.first("summary")["inputFinished"]);
    EXPECT_TRUE(host.videoInputs().empty());
}

// Two windows in one session: each stream decodes its own pictures, counts its own
// statistics and gets its own script; one audio stream for both.
TEST(ClientSessionTest, SeveralWindowsStreamAtOnceEachWithItsOwnPicturesAndInput) {
    FakeHost host;
    TempDir out;
    auto options = host.clientOptions(Command::Stream);
    options.windows = {{std::nullopt, "Editor"}, {kTerminalId, ""}};
    options.frames = 20;
    options.saveDir = out.path().string();
    options.saveEvery = 5;
    std::string error;
    options.inputs = {*InputScript::parse("type \"e\"", error), *InputScript::parse("type \"t\"", error)};
    std::map<std::size_t, int> hooked;
    ClientRun run;
    {
        std::ostringstream text;
        Reporter reporter(text, text, false);
        reporter.setListener([&](const json& e) { run.events.push_back(e); });
        ClientApp app(options, reporter);
        app.setPictureHook([&](std::size_t window, const VideoDecoder&) { ++hooked[window]; });
        run.exit = app.run(false);
        run.text = text.str();
    }
    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;

    const auto started = run.all("stream_started");
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0]["windowId"], kEditorId) << "windows start in the order given";
    EXPECT_EQ(started[1]["windowId"], kTerminalId);
    const auto editorStream = started[0]["streamId"].get<std::uint8_t>();
    const auto terminalStream = started[1]["streamId"].get<std::uint8_t>();
    ASSERT_NE(editorStream, terminalStream);

    const auto summaries = run.all("summary");
    ASSERT_EQ(summaries.size(), 2u);
    for (const auto& summary : summaries) {
        EXPECT_GE(summary["pictures"], 20) << summary.dump();
        EXPECT_EQ(summary["violations"], 0);
        EXPECT_EQ(summary["foreignPackets"], 0) << "every packet belongs to one of the two";
        EXPECT_TRUE(summary["inputFinished"]);
    }
    EXPECT_EQ(summaries[1]["windowId"], kTerminalId);
    EXPECT_GE(hooked[0], 20);
    EXPECT_GE(hooked[1], 20);
    std::set<std::uint64_t> statsStreams;
    for (const auto& e : run.all("stats")) statsStreams.insert(e["streamId"].get<std::uint64_t>());
    EXPECT_EQ(statsStreams, (std::set<std::uint64_t>{editorStream, terminalStream}));
    EXPECT_TRUE(run.first("stats").contains("audioPackets")) << "audio rides with the first window";

    std::map<std::uint8_t, std::u16string> typed;
    for (const auto& e : host.inputEvents()) typed[e.streamId] += static_cast<char16_t>(e.x);
    EXPECT_EQ(typed[editorStream], u"e");
    EXPECT_EQ(typed[terminalStream], u"t");
    auto stopped = host.stoppedStreams();
    std::sort(stopped.begin(), stopped.end());
    EXPECT_EQ(stopped, (std::vector<std::uint8_t>{std::min(editorStream, terminalStream), std::max(editorStream, terminalStream)}));

    auto editor = host::decodePng(readFile(out / "window1" / "frame-000006.png"));
    auto terminal = host::decodePng(readFile(out / "window2" / "frame-000006.png"));
    ASSERT_TRUE(editor && terminal) << "each window's pictures in a folder of its own";
    EXPECT_NEAR(editor->bgra[(120 * kWidth + 40) * 4 + 2], 200, 20) << "the editor's red half";
    EXPECT_NEAR(terminal->bgra[(120 * kWidth + 40) * 4 + 1], 200, 20) << "the terminal's green";
}

TEST(ClientSessionTest, InputCanTravelOnTheVideoConnection) {
    FakeHost host;
    auto options = host.clientOptions(Command::Stream);
    options.windows = {{kTerminalId, ""}};
    options.seconds = 0.5;
    options.inputChannel = InputChannel::Video;
    std::string error;
    options.inputs = {*InputScript::parse("type \"a\"; key f5", error)};
    const auto run = runClient(options);
    ASSERT_EQ(run.exit, ExitCode::Ok) << run.text;
    const auto in = host.videoInputs();
    ASSERT_EQ(in.size(), 3u);
    EXPECT_EQ(in[0].code, 'a') << "a character rides in the code byte there";
    EXPECT_EQ(in[1].code, 116);
    EXPECT_TRUE(host.inputEvents().empty());
}

TEST(ClientSessionTest, FailuresEndWithTheirOwnExitCodes) {
    {
        FakeHost host;
        auto options = host.clientOptions(Command::Stream);
        options.windows = {{std::nullopt, "nothing like this"}};
        const auto run = runClient(options);
        EXPECT_EQ(run.exit, ExitCode::WindowNotFound);
        EXPECT_EQ(host.streamStarts(), 0);
    }
    {
        FakeHost host;
        auto options = host.clientOptions(Command::Stream);
        options.windows = {{std::nullopt, "e"}};  // both titles contain it
        const auto run = runClient(options);
        EXPECT_EQ(run.exit, ExitCode::WindowNotFound);
        EXPECT_NE(run.first("error")["message"].get<std::string>().find("matches 2 windows"), std::string::npos);
    }
    {
        FakeHost host;
        auto options = host.clientOptions(Command::Stream);
        options.windows = {{std::nullopt, "Terminal"}, {kTerminalId, ""}};
        const auto run = runClient(options);
        EXPECT_EQ(run.exit, ExitCode::WindowNotFound);
        EXPECT_NE(run.first("error")["message"].get<std::string>().find("chosen twice"), std::string::npos);
        EXPECT_EQ(host.streamStarts(), 0);
    }
    {
        FakeHost host({.refuseStreams = true});
        auto options = host.clientOptions(Command::Stream);
        options.windows = {{kEditorId, ""}};
        const auto run = runClient(options);
        EXPECT_EQ(run.exit, ExitCode::StreamRefused);
        EXPECT_NE(run.first("error")["message"].get<std::string>().find("Failed to start stream"), std::string::npos);
    }
}

TEST(ClientSessionTest, AnAbsentOrSilentHostEndsTheRunInTime) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor silent(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    ClientOptions options;
    options.command = Command::List;
    options.timeoutMs = 300;

    options.port = silent.local_endpoint().port();  // accepts in the kernel, never answers
    auto run = runClient(options);
    EXPECT_EQ(run.exit, ExitCode::Unreachable);
    EXPECT_NE(run.first("error")["message"].get<std::string>().find("within 300 ms"), std::string::npos);

    silent.close();  // now nothing listens there
    run = runClient(options);
    EXPECT_EQ(run.exit, ExitCode::Unreachable);
}

}  // namespace
}  // namespace lumivane::client::test
