#include "capture/WindowCapture.h"

#include "LogRecorder.h"
#include "fakes/FakeCaptureSource.h"
#include "fakes/FakeWindowSystem.h"
#include "gpu/memory/MemoryGpuDevice.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

constexpr WindowHandle kWindow = 0x42;

class WindowCaptureTest : public ::testing::Test {
protected:
    void make(FakeWindow window = {}, FakeCaptureSource::Script script = {}) {
        auto windows = std::make_unique<FakeWindowSystem>();
        windows->add(kWindow, window);
        auto fake = std::make_unique<FakeCaptureSource>(script, record);
        source = fake.get();
        capture = std::make_unique<WindowCapture>(std::move(fake), std::move(windows));
    }

    bool startCounting() {
        return capture->startCapture([this](const Texture&, std::uint32_t w, std::uint32_t h) {
            delivered.emplace_back(w, h);
        });
    }

    MemoryGpuDevice device;
    std::shared_ptr<FakeCaptureSource::Record> record = std::make_shared<FakeCaptureSource::Record>();
    FakeCaptureSource* source = nullptr;
    std::unique_ptr<WindowCapture> capture;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> delivered;
};

TEST_F(WindowCaptureTest, InitializeRefusesMissingAndEmptyWindows) {
    FakeWindow flat;
    flat.rect = WindowRect{0, 0, 100, 0};
    make(flat);
    LogRecorder log;
    EXPECT_FALSE(capture->initialize(0x99, &device));
    EXPECT_FALSE(capture->initialize(kWindow, &device));
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"Invalid window handle", "Window has zero size"}));
}

TEST_F(WindowCaptureTest, InitializeReportsClientSize) {
    make();
    LogRecorder log;
    ASSERT_TRUE(capture->initialize(kWindow, &device));
    EXPECT_TRUE(log.has("WindowCapture initialized for HWND 42, size 640x480"));
    std::int32_t w = 0, h = 0;
    capture->getSize(w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
}

TEST_F(WindowCaptureTest, StartBeforeInitializeFailsWithoutDiagnostics) {
    make();
    LogRecorder log;
    EXPECT_FALSE(startCounting());
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"WindowCapture not initialized"}));
    EXPECT_EQ(record->opens, 0);
}

TEST_F(WindowCaptureTest, SecondStartKeepsFirstCallback) {
    make();
    ASSERT_TRUE(capture->initialize(kWindow, &device));
    ASSERT_TRUE(startCounting());
    LogRecorder log;
    int second = 0;
    EXPECT_TRUE(capture->startCapture([&](const Texture&, std::uint32_t, std::uint32_t) { ++second; }));
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"Capture already started"}));
    source->emitFrame(640, 480);
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(record->starts, 1);
}

TEST_F(WindowCaptureTest, DiagnosticsDescribeWindowAndWarnWhenMinimized) {
    FakeWindow window;
    window.title = "Notes";
    window.className = "NotesClass";
    window.minimized = true;
    make(window);
    ASSERT_TRUE(capture->initialize(kWindow, &device));
    LogRecorder log;
    ASSERT_TRUE(startCounting());
    auto texts = log.texts();
    ASSERT_GE(texts.size(), 9u);
    EXPECT_EQ(texts[0], "=== CAPTURE DIAGNOSTICS for window 42 ===");
    EXPECT_TRUE(log.has("  Window Title: Notes"));
    EXPECT_TRUE(log.has("  Window Class: NotesClass"));
    EXPECT_TRUE(log.has("  IsIconic (minimized): YES"));
    EXPECT_TRUE(log.has("  Window is MINIMIZED - capture may fail or return black frames"));
    EXPECT_LT(log.indexOf("=== END DIAGNOSTICS ==="), log.indexOf("Capture started for window 42"));
    EXPECT_TRUE(capture->isCapturing());
}

TEST_F(WindowCaptureTest, FailedStartLeavesCaptureStopped) {
    FakeCaptureSource::Script script;
    script.startSucceeds = false;
    make({}, script);
    ASSERT_TRUE(capture->initialize(kWindow, &device));
    LogRecorder log;
    EXPECT_FALSE(startCounting());
    EXPECT_TRUE(log.has("Failed to start capture: scripted start failure"));
    EXPECT_FALSE(capture->isCapturing());
}

TEST_F(WindowCaptureTest, SizeChangeRecreatesPoolAndDropsThatFrame) {
    make();
    ASSERT_TRUE(capture->initialize(kWindow, &device));
    ASSERT_TRUE(startCounting());
    LogRecorder log;
    source->emitFrame(640, 480);
    source->emitFrame(800, 600);
    source->emitFrame(800, 600);
    EXPECT_TRUE(log.has("Recreating frame pool: 640x480 -> 800x600"));
    EXPECT_EQ(record->recreated, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{800, 600}}));
    EXPECT_EQ(delivered, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{640, 480}, {800, 600}}));
    std::int32_t w = 0, h = 0;
    capture->getSize(w, h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
}

TEST_F(WindowCaptureTest, ClosedWindowStopsOnceAndOwnerStopIsSilent) {
    make();
    ASSERT_TRUE(capture->initialize(kWindow, &device));
    ASSERT_TRUE(startCounting());
    LogRecorder log;
    source->emitClosed();
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"Captured window was closed", "Capture stopped"}));
    EXPECT_FALSE(capture->isCapturing());
    capture->stopCapture();
    EXPECT_EQ(log.texts().size(), 2u);
    EXPECT_EQ(record->closes, 1);
    source->emitFrame(640, 480);
    EXPECT_TRUE(delivered.empty());
}

TEST_F(WindowCaptureTest, UnsupportedSystemIsRefused) {
    FakeCaptureSource::Script script;
    script.info.supported = false;
    make({}, script);
    EXPECT_FALSE(capture->initialize(kWindow, &device));
    EXPECT_EQ(record->opens, 0);
}

}  // namespace
}  // namespace lumivane::host
