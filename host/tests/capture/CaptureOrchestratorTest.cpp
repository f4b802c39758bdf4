#include "capture/CaptureOrchestrator.h"

#include "LogRecorder.h"
#include "fakes/FakeCaptureSource.h"
#include "fakes/FakeEncoderPlatform.h"
#include "fakes/FakeWindowSystem.h"
#include "gpu/memory/MemoryGpuDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <tuple>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;

constexpr WindowHandle kWindow = 0x1234;
constexpr WindowHandle kOtherWindow = 0x5678;
constexpr std::uint32_t kPaint = 0xFF336699;
constexpr std::uint32_t kBlack = 0xFF000000;

// What an encoder was handed.
struct Received {
    const Texture* texture = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;  // rows packed, no padding

    bool rowsAre(std::uint32_t firstRow, std::uint32_t endRow, std::uint32_t argb) const {
        const std::uint8_t bgra[4] = {std::uint8_t(argb), std::uint8_t(argb >> 8), std::uint8_t(argb >> 16),
                                      std::uint8_t(argb >> 24)};
        for (std::size_t i = std::size_t(firstRow) * width; i < std::size_t(endRow) * width; ++i) {
            if (std::memcmp(&pixels[i * 4], bgra, 4) != 0) return false;
        }
        return true;
    }
};

// Fails loudly instead of hanging the whole run when a call deadlocks.
template <typename Call>
void finishesWithin(Call call, const char* what) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(30s) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return: deadlock\n", what);
        std::abort();
    }
    done.get();
}

class CaptureOrchestratorTest : public ::testing::Test {
protected:
    CaptureOrchestratorTest() { rebuild(); }

    void rebuild() {
        orchestrator.reset();
        auto windows = std::make_unique<FakeWindowSystem>();
        windows->add(kWindow, {});
        windows->add(kOtherWindow, {});
        windowSystem = windows.get();
        orchestrator = std::make_unique<CaptureOrchestrator>(
            [this] {
                ++deviceAttempts;
                return deviceAttempts <= deviceFailures ? nullptr : std::make_unique<MemoryGpuDevice>();
            },
            [this](std::uint32_t) { return makeCapture(); }, std::move(windows), nullptr, encoders);
        orchestrator->setEncodedFrameCallback(
            [this](std::uint8_t streamId, const std::uint8_t*, std::size_t, bool keyframe, auto) {
                std::lock_guard lock(mutex);
                delivered.emplace_back(streamId, keyframe);
                deliveredChanged.notify_all();
            });
    }

    // Both the client area and the captured item get this size, as on a still window.
    bool start(std::uint8_t streamId, std::uint32_t width, std::uint32_t height, WindowHandle window = kWindow) {
        script.itemWidth = width;
        script.itemHeight = height;
        return orchestrator->startCapture(window, streamId);
    }

    std::unique_ptr<WindowCapture> makeCapture() {
        auto windows = std::make_unique<FakeWindowSystem>();
        FakeWindow facts;
        facts.rect = WindowRect{0, 0, std::int32_t(script.itemWidth), std::int32_t(script.itemHeight)};
        windows->add(kWindow, facts);
        windows->add(kOtherWindow, facts);
        records.push_back(std::make_shared<FakeCaptureSource::Record>());
        auto source = std::make_unique<FakeCaptureSource>(script, records.back());
        sources.push_back(source.get());
        return std::make_unique<WindowCapture>(std::move(source), std::move(windows));
    }

    void recordReceived() {
        encoders.inspectFrame = [this](const Texture& texture) {
            Received copy{&texture, texture.width(), texture.height(), {}};
            for (std::uint32_t y = 0; y < texture.height(); ++y) {
                const std::uint8_t* row = texture.mappedPixels() + std::size_t(y) * texture.stride();
                copy.pixels.insert(copy.pixels.end(), row, row + std::size_t(texture.width()) * 4);
            }
            received.push_back(std::move(copy));
        };
    }

    // A resize as the source reports it: one frame rebuilds the pool, the next carries the size.
    void resizeTo(std::uint32_t width, std::uint32_t height) {
        sources.back()->emitFrame(width, height);
        sources.back()->emitFrame(width, height);
    }

    std::size_t deliveredCount() {
        std::lock_guard lock(mutex);
        return delivered.size();
    }
    bool waitForDelivered(std::size_t count) {
        std::unique_lock lock(mutex);
        return deliveredChanged.wait_for(lock, 20s, [&] { return delivered.size() >= count; });
    }
    int linesStartingWith(const LogRecorder& log, const std::string& prefix) {
        auto texts = log.texts();
        return int(std::count_if(texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(prefix, 0) == 0; }));
    }

    FakeEncoderPlatform encoders;
    FakeCaptureSource::Script script;
    std::vector<std::shared_ptr<FakeCaptureSource::Record>> records;
    std::vector<FakeCaptureSource*> sources;  // only the running streams' are valid
    std::vector<Received> received;
    int deviceAttempts = 0;
    int deviceFailures = 0;
    std::mutex mutex;
    std::condition_variable deliveredChanged;
    std::vector<std::pair<std::uint8_t, bool>> delivered;  // stream id, keyframe
    FakeWindowSystem* windowSystem = nullptr;
    std::unique_ptr<CaptureOrchestrator> orchestrator;
};

TEST_F(CaptureOrchestratorTest, PadsUnalignedFramesIntoABlackTextureMadeOnce) {
    ASSERT_TRUE(orchestrator->initialize());
    recordReceived();
    LogRecorder log;
    ASSERT_TRUE(start(3, 1920, 1080));
    EXPECT_TRUE(log.has("Creating encoder for 1920x1088 (padded from 1920x1080)"));
    EXPECT_TRUE(log.has("Started capture for window 1234 on stream 3 (1920x1088)"));
    EXPECT_EQ(encoders.built.back()->config().height, 1088u);

    MemoryGpuDevice().clear(sources.back()->pool(), kPaint);
    sources.back()->emitFrame(1920, 1080);
    sources.back()->emitFrame(1920, 1080);

    ASSERT_EQ(received.size(), 2u);
    for (const Received& frame : received) {
        EXPECT_NE(frame.texture, &sources.back()->pool());
        EXPECT_EQ(frame.width, 1920u);
        EXPECT_EQ(frame.height, 1088u);
        EXPECT_TRUE(frame.rowsAre(0, 1080, kPaint));
        EXPECT_TRUE(frame.rowsAre(1080, 1088, kBlack));
    }
    EXPECT_EQ(received[0].texture, received[1].texture);
    EXPECT_EQ(delivered, (std::vector<std::pair<std::uint8_t, bool>>{{3, true}, {3, false}}));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(orchestrator->getStreamResolution(3, width, height));
    EXPECT_EQ(std::tie(width, height), std::make_tuple(1920u, 1080u));

    ASSERT_TRUE(start(4, 1280, 720, kOtherWindow));  // aligned: encoded without a copy
    sources.back()->emitFrame(1280, 720);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[2].texture, &sources.back()->pool());
}

// The time counted runs to the end of the delivery, where the frame reaches the socket.
TEST_F(CaptureOrchestratorTest, EveryUnpaddedSizeChangeRebuildsTheEncoderOnce) {
    ASSERT_TRUE(orchestrator->initialize());
    recordReceived();
    ASSERT_TRUE(start(2, 800, 600));
    std::vector<std::tuple<std::uint8_t, std::uint32_t, std::uint32_t>> changes;
    orchestrator->setResolutionChangeCallback([&](std::uint8_t id, std::uint32_t w, std::uint32_t h) {
        changes.emplace_back(id, w, h);
        orchestrator->requestKeyframe(id);  // re-entrant, as the application does
    });
    orchestrator->setDefaultBitrate(8000, 12000);
    EXPECT_EQ(encoders.built.back()->config().bitrate, 20000u);  // running encoders keep theirs
    sources.back()->emitFrame(800, 600);

    LogRecorder log;
    resizeTo(1000, 700);
    EXPECT_EQ(log.texts(), (std::vector<std::string>{
                               "Recreating frame pool: 800x600 -> 1000x700",
                               "Resolution changed from 800x600 to 1000x700 on stream 2 - recreating encoder",
                               "Creating new encoder for 1008x704 (padded from 1000x700)",
                               "Created Software encoder",
                               "Encoder recreated successfully for 1008x704 on stream 2",
                           }));
    ASSERT_EQ(encoders.built.size(), 2u);
    const FakeEncoder& rebuilt = *encoders.built.back();
    EXPECT_EQ(std::tie(rebuilt.config().width, rebuilt.config().height), std::make_tuple(1008u, 704u));
    EXPECT_EQ(std::tie(rebuilt.config().bitrate, rebuilt.config().maxBitrate), std::make_tuple(8000u, 12000u));
    EXPECT_EQ(rebuilt.keyframeRequests, 1);
    EXPECT_TRUE(received.back().rowsAre(700, 704, kBlack));

    sources.back()->emitFrame(1000, 700);
    sources.back()->emitFrame(1000, 700);
    EXPECT_EQ(encoders.built.size(), 2u);
    EXPECT_EQ(changes.size(), 1u);

    resizeTo(1001, 700);  // pads to the same 1008x704
    EXPECT_EQ(encoders.built.size(), 3u);
    EXPECT_EQ(changes, (std::vector<std::tuple<std::uint8_t, std::uint32_t, std::uint32_t>>{
                           {2, 1000, 700}, {2, 1001, 700}}));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(orchestrator->getStreamResolution(2, width, height));
    EXPECT_EQ(std::tie(width, height), std::make_tuple(1001u, 700u));
}

TEST_F(CaptureOrchestratorTest, ReusedStreamIdReplacesTheRunningStream) {
    ASSERT_TRUE(orchestrator->initialize());
    ASSERT_TRUE(start(1, 640, 480, kWindow));
    LogRecorder log;
    ASSERT_TRUE(start(1, 320, 240, kOtherWindow));
    EXPECT_EQ(log.texts().front(), "Stream 1 already exists, stopping first");
    EXPECT_GT(records[0]->closes, 0);
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(orchestrator->getStreamResolution(1, width, height));
    EXPECT_EQ(width, 320u);
    sources.back()->emitFrame(320, 240);
    EXPECT_EQ(delivered, (std::vector<std::pair<std::uint8_t, bool>>{{1, true}}));

    // A replacement that fails still ends the old stream.
    EXPECT_FALSE(orchestrator->startCapture(0x999, 1));
    EXPECT_TRUE(log.has("Invalid window handle: 999"));
    EXPECT_FALSE(orchestrator->getStreamResolution(1, width, height));
    EXPECT_GT(records[1]->closes, 0);
}

TEST_F(CaptureOrchestratorTest, FailedStartsLeaveNoStreamBehind) {
    encoders.kinds = {};
    LogRecorder log;
    ASSERT_TRUE(orchestrator->initialize());
    EXPECT_STREQ(orchestrator->getEncoderName(), "None");
    EXPECT_TRUE(log.has("No hardware encoders available - capture will work but encoding disabled"));
    EXPECT_FALSE(start(1, 640, 480));
    EXPECT_FALSE(start(2, 640, 480));
    EXPECT_EQ(linesStartingWith(log, "Failed to create encoder for window 1234"), 2);
    EXPECT_EQ(records[0]->starts + records[1]->starts, 0);

    encoders.kinds = {EncoderType::Software};
    script.startSucceeds = false;
    EXPECT_FALSE(start(3, 640, 480));
    EXPECT_TRUE(log.has("Failed to start capture for window 1234"));
    script.startSucceeds = true;
    script.info.supported = false;
    EXPECT_FALSE(start(4, 640, 480));
    EXPECT_TRUE(log.has("Failed to initialize capture for window 1234"));

    std::uint32_t width = 0, height = 0;
    for (std::uint8_t id : {1, 2, 3, 4}) EXPECT_FALSE(orchestrator->getStreamResolution(id, width, height));
}

TEST_F(CaptureOrchestratorTest, FrameCallbacksMayCallBackIn) {
    ASSERT_TRUE(orchestrator->initialize());
    ASSERT_TRUE(start(5, 640, 480));
    std::vector<bool> keyframes;
    std::vector<CodecConfig> configs;
    std::vector<std::uint32_t> widths;
    orchestrator->setEncodedFrameCallback([&](std::uint8_t id, const std::uint8_t*, std::size_t, bool keyframe, auto) {
        keyframes.push_back(keyframe);
        configs.push_back(orchestrator->getCodecConfig(id));
        std::uint32_t width = 0, height = 0;
        if (orchestrator->getStreamResolution(id, width, height)) widths.push_back(width);
        if (keyframes.size() == 2) orchestrator->requestKeyframe(id);
        orchestrator->setStreamBitrate(id, 5000, 7500);
    });
    finishesWithin([&] { for (int i = 0; i < 4; ++i) sources.back()->emitFrame(640, 480); }, "frame path");
    EXPECT_EQ(keyframes, (std::vector<bool>{true, false, true, false}));
    ASSERT_EQ(configs.size(), 4u);
    EXPECT_TRUE(configs[0].valid);
    EXPECT_FALSE(configs[0].sps.empty());
    EXPECT_EQ(widths, std::vector<std::uint32_t>(4, 640));
    EXPECT_EQ(encoders.built.back()->config().bitrate, 5000u);
}

TEST_F(CaptureOrchestratorTest, UpdateDropsStreamsWhoseWindowOrCaptureEnded) {
    ASSERT_TRUE(orchestrator->initialize());
    ASSERT_TRUE(start(1, 640, 480, kWindow));
    ASSERT_TRUE(start(2, 320, 240, kOtherWindow));
    LogRecorder log;
    orchestrator->update();
    EXPECT_TRUE(log.texts().empty());

    windowSystem->remove(kWindow);
    orchestrator->update();
    EXPECT_TRUE(log.has("Removing inactive session for stream 1"));
    EXPECT_GT(records[0]->closes, 0);

    sources[1]->emitClosed();  // the capture stops itself
    orchestrator->update();
    orchestrator->update();
    EXPECT_EQ(linesStartingWith(log, "Removing inactive session"), 2);
    std::uint32_t width = 0, height = 0;
    EXPECT_FALSE(orchestrator->getStreamResolution(1, width, height));
    EXPECT_FALSE(orchestrator->getStreamResolution(2, width, height));
}

TEST_F(CaptureOrchestratorTest, EncodeAndRebuildFailuresKeepTheStream) {
    ASSERT_TRUE(orchestrator->initialize());
    ASSERT_TRUE(start(1, 640, 480));
    encoders.built.back()->failEncode = true;
    LogRecorder log;
    sources.back()->emitFrame(640, 480);
    EXPECT_EQ(linesStartingWith(log, "Failed to encode frame on stream 1 (attempt #"), 1);
    encoders.built.back()->failEncode = false;
    sources.back()->emitFrame(640, 480);
    EXPECT_EQ(deliveredCount(), 1u);

    encoders.failInitialize = true;
    resizeTo(800, 600);
    EXPECT_TRUE(log.has("Failed to create new encoder for resolution 800x608"));
    const std::size_t lines = log.texts().size();
    sources.back()->emitFrame(800, 600);  // dropped silently: no encoder until the stream ends
    EXPECT_EQ(log.texts().size(), lines);
    EXPECT_EQ(deliveredCount(), 1u);
    EXPECT_FALSE(orchestrator->getCodecConfig(1).valid);
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(orchestrator->getStreamResolution(1, width, height));
    EXPECT_EQ(width, 800u);
    orchestrator->stopCapture(1);
    EXPECT_TRUE(log.has("Stopped capture on stream 1"));
}

TEST_F(CaptureOrchestratorTest, LifecycleAndUnknownStreams) {
    LogRecorder log;
    orchestrator->shutdown();
    EXPECT_TRUE(log.texts().empty());
    EXPECT_FALSE(start(1, 640, 480));
    EXPECT_TRUE(log.has("CaptureOrchestrator not initialized"));

    deviceFailures = 2;
    EXPECT_FALSE(orchestrator->initialize());
    EXPECT_EQ(deviceAttempts, 2);
    EXPECT_TRUE(log.has("Failed to create frame device"));
    deviceFailures = 3;  // the second try succeeds
    ASSERT_TRUE(orchestrator->initialize());
    EXPECT_EQ(deviceAttempts, 4);
    EXPECT_TRUE(log.has("GPU: System memory (CPU) (VRAM: 0 MB)"));
    EXPECT_TRUE(log.has("CaptureOrchestrator initialized with Software encoder"));
    EXPECT_EQ(orchestrator->getGpuName(), "System memory (CPU)");
    EXPECT_TRUE(orchestrator->initialize());
    EXPECT_TRUE(log.has("CaptureOrchestrator already initialized"));
    EXPECT_EQ(deviceAttempts, 4);

    CodecConfig config = orchestrator->getCodecConfig(9);
    EXPECT_FALSE(config.valid);
    EXPECT_TRUE(config.sps.empty() && config.pps.empty() && config.vps.empty());
    std::uint32_t width = 7, height = 7;
    EXPECT_FALSE(orchestrator->getStreamResolution(9, width, height));
    EXPECT_EQ(std::tie(width, height), std::make_tuple(7u, 7u));
    orchestrator->requestKeyframe(9);
    orchestrator->setStreamBitrate(9, 1, 1);
    orchestrator->stopCapture(9);
    EXPECT_TRUE(log.has("Stream 9 not found"));

    ASSERT_TRUE(start(1, 640, 480));
    orchestrator->shutdown();
    EXPECT_GT(records.back()->closes, 0);
    EXPECT_TRUE(log.has("Shutting down CaptureOrchestrator..."));
    EXPECT_TRUE(log.has("Stopped all captures"));
    const std::size_t lines = log.texts().size();
    orchestrator->shutdown();
    EXPECT_EQ(log.texts().size(), lines);
    EXPECT_FALSE(start(1, 640, 480));
}

TEST_F(CaptureOrchestratorTest, EncoderNameIsTheBestKindOffered) {
    using K = EncoderType;
    const std::vector<std::pair<std::vector<K>, std::string>> cases = {
        {{K::Software, K::AMF, K::NVENC}, "NVENC"}, {{K::Software, K::AMF}, "AMF"},
        {{K::Software}, "Software"}, {{K::QuickSync}, "Unknown"}};
    for (const auto& [kinds, name] : cases) {
        encoders.kinds = kinds;
        rebuild();
        ASSERT_TRUE(orchestrator->initialize());
        EXPECT_EQ(orchestrator->getEncoderName(), name);
    }
}

// The capture thread delivers frames continuously while each way of ending a stream runs.
// Ending one must neither deadlock against the frame path nor let an old capture's frames
// reach the stream that replaced it.
TEST_F(CaptureOrchestratorTest, EndingStreamsWhileFramesArrive) {
    ASSERT_TRUE(orchestrator->initialize());
    script.ownThread = true;
    std::mutex gateMutex;
    std::condition_variable gate;
    int inHandler = 0;
    int frameThreads = 1;
    script.beforeFrame = [&] {
        std::lock_guard lock(gateMutex);
        ++inHandler;
        gate.notify_all();
    };
    script.afterFrame = [&] {
        std::lock_guard lock(gateMutex);
        --inHandler;
    };
    // A stream's encoder is shut down while the orchestrator's lock is held: wait there until
    // every capture thread is inside its frame handler, so that stopping a capture under that
    // lock would deadlock every time rather than now and then.
    encoders.onShutdown = [&] {
        std::unique_lock lock(gateMutex);
        gate.wait_for(lock, 20s, [&] { return inHandler >= frameThreads; });
    };
    LogRecorder log;
    std::uint32_t width = 0, height = 0;
    for (int round = 0; round < 8; ++round) {
        ASSERT_TRUE(start(4, 64, 48));
        ASSERT_TRUE(waitForDelivered(deliveredCount() + 3));
        finishesWithin([&] { orchestrator->stopCapture(4); }, "stopCapture");
        EXPECT_FALSE(orchestrator->getStreamResolution(4, width, height));

        ASSERT_TRUE(start(4, 64, 48));
        ASSERT_TRUE(waitForDelivered(deliveredCount() + 3));
        ASSERT_TRUE(start(4, 96, 64));  // replaced under a running frame thread
        ASSERT_TRUE(waitForDelivered(deliveredCount() + 3));

        windowSystem->remove(kWindow);
        finishesWithin([&] { orchestrator->update(); }, "update");
        EXPECT_FALSE(orchestrator->getStreamResolution(4, width, height));
        windowSystem->add(kWindow, {});

        ASSERT_TRUE(start(4, 64, 48));
        ASSERT_TRUE(start(5, 64, 48, kOtherWindow));
        ASSERT_TRUE(waitForDelivered(deliveredCount() + 3));
        frameThreads = 2;
        finishesWithin([&] { orchestrator->stopAllCaptures(); }, "stopAllCaptures");
        frameThreads = 1;
    }
    EXPECT_EQ(linesStartingWith(log, "Resolution changed"), 0);
    EXPECT_EQ(log.countAtLeast(spdlog::level::err), 0);
}

}  // namespace
}  // namespace lumivane::host
