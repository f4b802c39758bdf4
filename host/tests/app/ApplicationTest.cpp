// The application over fake capture, encoders, audio and input, with its real servers on
// loopback ports; a test client plays the headset.

#include "app/Application.h"

#include "app/ApplicationTestSupport.h"
#include "capture/WindowEnumerator.h"
#include "fakes/TempConfigHome.h"
#include "network/SignalingTestSupport.h"

#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;
using namespace apptest;
using nlohmann::json;

constexpr const char* kPortsZero = R"({"signalingPort":0,"videoPort":0,"audioPort":0,"inputPort":0})";

class ApplicationTest : public ::testing::Test {
protected:
    TempConfigHome configHome_{"apptest"};

    ApplicationTest() {
        writeSettings(kPortsZero);
    }
    ~ApplicationTest() override {
        app.reset();
    }

    void writeSettings(const std::string& text) {
        std::filesystem::create_directories(settingsPath().parent_path());
        std::ofstream(settingsPath()) << text;
    }
    std::filesystem::path settingsPath() const { return configHome_.settingsPath(); }

    ApplicationServices services() {
        ApplicationServices s;
        s.createOrchestrator = [this] { return makeOrchestrator(); };
        s.createAudioSource = [this] {
            auto source = std::make_unique<FakeAudioSource>();
            audio = source.get();
            return source;
        };
        s.createInputSink = [this] {
            auto sink = std::make_unique<LockedInputSink>();
            input = sink.get();
            return sink;
        };
        s.hostName = [] { return std::string("test-host"); };
        s.discoveryPort = 0;
        s.now = [this] { return std::chrono::steady_clock::time_point{} + 1000h + clock.load() * 1ms; };
        return s;
    }

    std::unique_ptr<CaptureOrchestrator> makeOrchestrator() {
        return std::make_unique<CaptureOrchestrator>(
            [] { return std::make_unique<MemoryGpuDevice>(); },
            [this](std::uint32_t) {
                auto source = std::make_unique<FakeCaptureSource>(FakeCaptureSource::Script{},
                                                                  std::make_shared<FakeCaptureSource::Record>());
                std::lock_guard lock(sourcesMutex_);
                sources_.push_back(source.get());
                return std::make_unique<WindowCapture>(std::move(source), oneWindow());
            },
            oneWindow(), std::make_unique<WindowEnumerator>(oneWindow()), encoders);
    }
    // The capture source of the most recently started stream; the test plays its thread.
    FakeCaptureSource& latestSource() {
        std::lock_guard lock(sourcesMutex_);
        return *sources_.back();
    }

    void start() {
        app = std::make_unique<Application>(services());
        ASSERT_TRUE(app->initialize());
        ports = app->getListeningPorts();
    }
    // A headset: signalling with hello, and the video connection.
    void connect(const std::string& hello = R"({"type":"hello"})") {
        ws = std::make_unique<sigtest::WsClient>(ports.signaling);
        ASSERT_NE(ws->request(hello).find("welcome"), std::string::npos);
        video = std::make_unique<test::TestClient>(ports.video);
        ASSERT_TRUE(log.waitFor("TCP client connected from"));
    }
    std::uint8_t startStream() {
        const json reply = json::parse(ws->request(R"({"type":"stream_start","windowId":)" + std::to_string(kWindow) + "}"));
        EXPECT_EQ(reply.value("type", ""), "stream_started") << reply.dump();
        return reply.value("streamId", std::uint8_t{0});
    }
    // Sends feedback and waits until the host has read it (and taken its time).
    void feedback(std::uint16_t decodeMs, std::uint16_t rttMs) {
        ASSERT_TRUE(video->write(feedbackMessage(decodeMs, rttMs)));
        ASSERT_TRUE(test::eventually([&] { return app->getClientStatistics().latencyMs == float(rttMs); }));
    }
    // Emits a frame on another thread (as a capture thread would) and reads its packet.
    VideoPacket frameThroughPipeline(std::uint32_t width = 640, std::uint32_t height = 480) {
        auto emitted = std::async(std::launch::async, [&, width, height] { latestSource().emitFrame(width, height); });
        auto packet = readVideoPacket(*video);
        emitted.get();
        EXPECT_TRUE(packet);
        return packet.value_or(VideoPacket{});
    }

    test::LogCapture log;
    SpyEncoderPlatform encoders;
    FakeAudioSource* audio = nullptr;  // owned by the application
    LockedInputSink* input = nullptr;  // likewise
    std::atomic<std::int64_t> clock{0};  // ms
    std::unique_ptr<Application> app;
    ListeningPorts ports;
    std::unique_ptr<sigtest::WsClient> ws;
    std::unique_ptr<test::TestClient> video;

private:
    std::mutex sourcesMutex_;
    std::vector<FakeCaptureSource*> sources_;
};

TEST_F(ApplicationTest, StartsOnTheRealPortsAndAnnouncesThemInWelcomeAndDiscovery) {
    start();
    EXPECT_NE(ports.signaling, 0);
    EXPECT_EQ(log.count("All subsystems initialized successfully"), 1);
    EXPECT_EQ(log.count("Signaling: ws://localhost:" + std::to_string(ports.signaling)), 1);

    sigtest::WsClient client(ports.signaling);
    const json welcome = json::parse(client.request(R"({"type":"hello"})"));
    EXPECT_EQ(welcome["videoPort"], ports.video);
    EXPECT_EQ(welcome["audioPort"], ports.audio);
    EXPECT_EQ(welcome["inputPort"], ports.input);
    const json list = json::parse(client.request(R"({"type":"window_list_request"})"));
    ASSERT_EQ(list["windows"].size(), 1u);
    EXPECT_EQ(list["windows"][0]["title"], "Test Editor");

    boost::asio::io_context io;
    boost::asio::ip::udp::socket udp(io, {boost::asio::ip::udp::v4(), 0});
    const std::string request = "LUMIVANE_DISCOVER test";
    udp.send_to(boost::asio::buffer(request), {boost::asio::ip::make_address("127.0.0.1"), ports.discovery});
    char answer[512];
    boost::asio::ip::udp::endpoint from;
    const std::string text(answer, udp.receive_from(boost::asio::buffer(answer), from));
    EXPECT_NE(text.find("test-host"), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(ports.signaling)), std::string::npos) << text;
}

TEST_F(ApplicationTest, WithDiscoveryAnswersOffNoResponderStarts) {
    writeSettings(R"({"signalingPort":0,"videoPort":0,"audioPort":0,"inputPort":0,"answerDiscovery":false})");
    start();
    EXPECT_EQ(log.count("Discovery answers are off: clients must be given this host's address"), 1);
    EXPECT_EQ(log.count("Initializing discovery responder"), 0);
    sigtest::WsClient client(ports.signaling);
    EXPECT_NE(client.request(R"({"type":"hello"})").find("welcome"), std::string::npos);
}

TEST_F(ApplicationTest, BusySignallingPortStopsTheStartBeforeTheTransports) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor taken(io, {boost::asio::ip::tcp::v4(), 0});
    writeSettings(R"({"signalingPort":)" + std::to_string(taken.local_endpoint().port()) +
                  R"(,"videoPort":0,"audioPort":0,"inputPort":0})");
    app = std::make_unique<Application>(services());
    EXPECT_FALSE(app->initialize());
    EXPECT_GE(log.count("Failed to start signaling server"), 1);
    EXPECT_EQ(log.count("Initializing TCP transport server"), 0);
    app.reset();  // releases the orchestrator, injector and audio started before
    EXPECT_EQ(log.count("Shutting down application..."), 0);
}

TEST_F(ApplicationTest, ClientStreamSendsItsConfigBeforeEachFirstKeyframe) {
    start();
    connect();
    const std::uint8_t streamId = startStream();

    const VideoPacket first = frameThroughPipeline();
    EXPECT_EQ(first.streamId, streamId);
    EXPECT_TRUE(first.keyframe);
    EXPECT_GT(ws->bytesWaiting(), 0u) << "stream_config was not on the wire before the keyframe";
    const json config = json::parse(ws->read());
    EXPECT_EQ(config["type"], "stream_config");
    EXPECT_EQ(config["streamId"], streamId);
    EXPECT_EQ(config["windowId"], kWindow);
    EXPECT_EQ(config["width"], 640);
    EXPECT_EQ(config["height"], 480);
    EXPECT_EQ(config["codec"], "video/avc");
    EXPECT_EQ(config["targetBitrate"], 20000);
    EXPECT_FALSE(config["sps"].get<std::string>().empty());

    EXPECT_FALSE(frameThroughPipeline().keyframe);
    EXPECT_EQ(ws->bytesWaiting(), 0u) << "one stream_config per keyframe that needs it";

    // A resize rebuilds the encoder: a new config with the new size precedes its keyframe.
    latestSource().emitFrame(800, 600);  // the source rebuilds its pool first
    const VideoPacket resized = frameThroughPipeline(800, 600);
    EXPECT_TRUE(resized.keyframe);
    EXPECT_GT(ws->bytesWaiting(), 0u);
    const json second = json::parse(ws->read());
    EXPECT_EQ(second["width"], 800);
    EXPECT_EQ(second["height"], 600);
}

TEST_F(ApplicationTest, DashboardStreamGetsFramesButNoConfigOrBitrateSteering) {
    start();
    connect();
    ASSERT_TRUE(app->startCapture(kWindow, 7));
    const VideoPacket packet = frameThroughPipeline();
    EXPECT_EQ(packet.streamId, 7);
    EXPECT_TRUE(packet.keyframe);
    EXPECT_EQ(ws->bytesWaiting(), 0u);

    feedback(0, 90);
    clock += 1000;
    feedback(0, 91);
    ASSERT_TRUE(log.waitFor("Network congestion"));
    EXPECT_TRUE(encoders.bitrates.changes().empty());
}

TEST_F(ApplicationTest, FeedbackSteersEveryClientStreamAndSettingsResetTheStart) {
    start();
    connect();
    startStream();
    startStream();
    feedback(0, 80);  // takes the target, starts the clock
    clock += 999;
    feedback(0, 81);
    clock += 1;
    feedback(0, 82);
    ASSERT_TRUE(log.waitFor("Network congestion (RTT=82ms, decode=0ms), reducing bitrate 20000 -> 16000 kbps"));
    ASSERT_TRUE(encoders.bitrates.waitFor(2));
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> lowered(2, {16000, 24000});
    EXPECT_EQ(encoders.bitrates.changes(), lowered) << "one change: the second feedback came within the second";
    EXPECT_EQ(log.count("Network congestion"), 1);

    ASSERT_TRUE(app->applySettings(30000, 60000, 60));
    ASSERT_TRUE(encoders.bitrates.waitFor(4));
    EXPECT_EQ(encoders.bitrates.changes()[3], std::make_pair(30000u, 60000u));
    const json saved = json::parse(std::ifstream(settingsPath()));
    EXPECT_EQ(saved["targetBitrate"], 30000);
    EXPECT_EQ(saved["targetFps"], 60);

    clock += 1000;
    feedback(40, 1);
    EXPECT_TRUE(log.waitFor("reducing bitrate 30000 -> 24000 kbps"));
}

TEST_F(ApplicationTest, InputFromBothConnectionsIsAimedAtTheStreamsWindow) {
    start();
    connect();
    const std::uint8_t streamId = startStream();
    test::TestClient inputClient(ports.input);
    ASSERT_TRUE(log.waitFor("TCP input client connected from"));

    ASSERT_TRUE(inputClient.write(mousePressOnInput(streamId, 100, 200)));
    ASSERT_TRUE(input->waitForRecords(2)) << "a press is a move and a button";
    ASSERT_TRUE(video->write(mouseMoveOnVideo(streamId, 300, 400)));
    ASSERT_TRUE(input->waitForRecords(3));
    input->read([&](LockedInputSink& sink) {
        EXPECT_EQ(sink.aimedAt, (std::vector<WindowHandle>{kWindow, kWindow}));
        return 0;
    });

    ASSERT_TRUE(video->write(mouseMoveOnVideo(99, 1, 1)));
    EXPECT_TRUE(log.waitFor("Input received for unknown stream 99"));
    EXPECT_TRUE(input->waitForRecords(4)) << "still injected, into the previous target";
}

TEST_F(ApplicationTest, AudioIsCutIntoOpusPacketsOnlyWhileAStreamRuns) {
    start();
    connect();
    test::TestClient audioClient(ports.audio);
    ASSERT_TRUE(log.waitFor("TCP audio client connected from"));
    const std::vector<float> callback(441 * 2, 0.25f);

    for (int i = 0; i < 10; ++i) audio->pushSamples(callback);
    ASSERT_TRUE(audio->waitDrained());
    const std::uint8_t streamId = startStream();
    for (int i = 0; i < 100; ++i) audio->pushSamples(callback);
    ASSERT_TRUE(audio->waitDrained());

    // 100 callbacks of 882 samples make 91 packets of 960; the ten before the stream none.
    auto readPacket = [&] {
        const auto length = audioClient.read(4);
        EXPECT_EQ(length.size(), 4u);
        const auto body = audioClient.read(length.size() == 4 ? loadLe32(length.data()) : 0);
        EXPECT_GT(body.size(), 12u);
        return body.size() > 12 ? body : std::vector<std::uint8_t>(12, 0);
    };
    // A burst this fast may cost the client its oldest packets (the queue is short), but
    // every packet is numbered, and the last is the 91st.
    int last = -1;
    while (last < 90) {
        const auto body = readPacket();
        ASSERT_EQ(body[1], 2) << "audio packet type";
        ASSERT_EQ(body[2], streamId);
        const int sequence = loadLe16(body.data() + 4);
        ASSERT_GT(sequence, last);
        last = sequence;
    }
    EXPECT_EQ(last, 90);

    EXPECT_NE(ws->request(R"({"type":"stream_stop","streamId":)" + std::to_string(streamId) + "}").find("stream_stopped"),
              std::string::npos);
    for (int i = 0; i < 20; ++i) audio->pushSamples(callback);
    ASSERT_TRUE(audio->waitDrained());
    // Nothing was sent meanwhile: the next stream's first packet follows the 91st.
    const std::uint8_t next = startStream();
    audio->pushSamples(callback);
    const auto body = readPacket();
    EXPECT_EQ(body[2], next);
    EXPECT_EQ(loadLe16(body.data() + 4), 91);
}

TEST_F(ApplicationTest, ClientStatusIsMeasured) {
    start();
    EXPECT_FALSE(app->getClientStatistics().connected);
    connect(R"({"type":"hello","name":"Quest Pro"})");
    startStream();

    ClientStatistics status = app->getClientStatistics();
    EXPECT_TRUE(status.connected);
    EXPECT_EQ(status.clientName, "Quest Pro");
    EXPECT_EQ(status.clientAddress, "127.0.0.1");
    EXPECT_EQ(status.fps, 0);
    EXPECT_EQ(status.latencyMs, 0.0f) << "no feedback yet";

    for (int i = 0; i < 3; ++i) frameThroughPipeline();
    feedback(3, 17);
    clock += 1000;
    status = app->getClientStatistics();
    EXPECT_EQ(status.fps, 3);
    EXPECT_GT(status.bitrateMbps, 0.0f);

    sigtest::WsClient unnamed(ports.signaling);
    unnamed.request(R"({"type":"hello"})");
    EXPECT_EQ(app->getClientStatistics().clientName, "Meta Quest");
}

TEST_F(ApplicationTest, WindowResizeOnlyForLiveWindowsAndShutdownIsRepeatable) {
    start();
    connect();
    const json resized = json::parse(ws->request(R"({"type":"window_resize","windowId":)" + std::to_string(kWindow) +
                                                 R"(,"width":1280,"height":720})"));
    EXPECT_EQ(resized["success"], true) << resized.dump();
    input->read([](LockedInputSink& sink) {
        EXPECT_EQ(sink.placements.size(), 1u);
        return 0;
    });

    input->read([](LockedInputSink& sink) { return sink.windowExists = false; });
    const json refused = json::parse(ws->request(R"({"type":"window_resize","windowId":1,"width":10,"height":10})"));
    EXPECT_EQ(refused["success"], false);
    EXPECT_EQ(log.count("Invalid window ID for resize: 1"), 1);
    input->read([](LockedInputSink& sink) {
        EXPECT_EQ(sink.placements.size(), 1u);
        return 0;
    });

    app->shutdown();
    app->shutdown();
    EXPECT_EQ(log.count("Application shutdown complete"), 2);
    EXPECT_FALSE(app->isClientConnected());
}

// Only the address a client signals from may steer the host: another machine on the network
// could once click into the streamed window and take the video connection over.
TEST_F(ApplicationTest, OnlyTheSignallingAddressMaySteer) {
    start();
    test::TestClient early(ports.video);  // no signalling session anywhere yet
    EXPECT_TRUE(early.closedByPeer());
    connect();
    const std::uint8_t streamId = startStream();
    frameThroughPipeline();

    test::TestClient foreignVideo(ports.video, "127.0.0.2");
    EXPECT_TRUE(foreignVideo.closedByPeer());
    test::TestClient foreignInput(ports.input, "127.0.0.2");
    foreignInput.write(mousePressOnInput(streamId, 100, 200));
    EXPECT_TRUE(foreignInput.closedByPeer());
    EXPECT_EQ(log.count("Refused TCP video connection from 127.0.0.1"), 1);
    EXPECT_EQ(log.count("Refused TCP video connection"), 1) << "one line per interval";
    EXPECT_TRUE(log.waitFor("Refused TCP input connection from 127.0.0.2"));
    EXPECT_EQ(log.count("Closing existing TCP client connection"), 0);

    // The real client is untouched, and its own input still works.
    EXPECT_EQ(frameThroughPipeline().streamId, streamId);
    test::TestClient inputClient(ports.input);
    ASSERT_TRUE(inputClient.write(mousePressOnInput(streamId, 100, 200)));
    ASSERT_TRUE(input->waitForRecords(2));
    input->read([](LockedInputSink& sink) {
        EXPECT_EQ(sink.records.size(), 2u) << "the foreign press was never injected";
        return 0;
    });
}

TEST_F(ApplicationTest, EndingAStreamLogsItsLatencyToTheSocket) {
    start();
    connect();
    const std::uint8_t streamId = startStream();
    for (int i = 0; i < 3; ++i) frameThroughPipeline();
    ws->request(R"({"type":"stream_stop","streamId":)" + std::to_string(streamId) + "}");
    // Not the count: the client can read the last frame before the I/O thread records its write.
    EXPECT_TRUE(log.waitFor("Stream " + std::to_string(streamId) + " frame latency (arrival to socket): "));
}

// The input server once kept running through shutdown, so an event arriving while the
// Application was destroyed reached its destroyed mutexes and injector.
TEST_F(ApplicationTest, ShutdownStopsEveryTransport) {
    start();
    connect();
    app->shutdown();
    for (std::uint16_t port : {ports.video, ports.audio, ports.input, ports.signaling}) {
        boost::asio::io_context io;
        boost::asio::ip::tcp::socket socket(io);
        boost::system::error_code ec;
        socket.connect({boost::asio::ip::make_address("127.0.0.1"), port}, ec);
        EXPECT_EQ(ec, boost::asio::error::connection_refused) << "port " << port;
    }
}

}  // namespace
}  // namespace lumivane::host
