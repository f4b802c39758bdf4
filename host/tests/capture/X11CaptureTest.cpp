// Against the real X server that the test script starts (DISPLAY).

#include "capture/WindowCapture.h"
#include "capture/WindowEnumerator.h"

#include "LogRecorder.h"
#include "PngDecode.h"
#include "TestWindowProcess.h"
#include "core/Base64.h"
#include "gpu/memory/MemoryGpuDevice.h"
#include "XTestHelpers.h"
#include "testwindow/TestPattern.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;

struct Frame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bgra;
};

// Collects frames handed out on the capture thread.
class FrameSink {
public:
    WindowCapture::FrameCallback callback() {
        return [this](const Texture& texture, std::uint32_t w, std::uint32_t h) {
            Frame frame{w, h, {}};
            const std::uint8_t* pixels = texture.mappedPixels();
            for (std::uint32_t y = 0; y < h; ++y) {
                const std::uint8_t* row = pixels + std::size_t(y) * texture.stride();
                frame.bgra.insert(frame.bgra.end(), row, row + std::size_t(w) * 4);
            }
            std::lock_guard lock(mutex_);
            frames_.push_back(std::move(frame));
            changed_.notify_all();
        };
    }
    template <typename Pred>
    bool waitFor(Pred pred, std::chrono::seconds timeout = 20s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return pred(frames_); });
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Frame> frames_;
};

bool showsPattern(const Frame& frame, std::uint32_t number) {
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            std::uint32_t rgb = testwindow::patternPixel(x, y, number);
            const std::uint8_t* p = &frame.bgra[(std::size_t(y) * frame.width + x) * 4];
            // Alpha is undefined for an opaque window.
            if (p[0] != (rgb & 0xFF) || p[1] != ((rgb >> 8) & 0xFF) || p[2] != (rgb >> 16)) return false;
        }
    }
    return true;
}

class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_FAIL() << "DISPLAY is not set; run under scripts/test";
        ASSERT_TRUE(holdDisplayOpen()) << "cannot open DISPLAY";
    }
};

TEST_F(X11Test, ListsTestWindowWithTitleClassProcessAndIcon) {
    TestWindowProcess process({"--title", "Grüße list test", "--class", "ListClass", "--width", "200", "--height", "100"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    WindowEnumerator enumerator(WindowSystem::create());
    auto list = enumerator.enumerateWindows();
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& info) { return info.id == id; });
    ASSERT_NE(it, list.end());
    EXPECT_EQ(it->title, "Grüße list test");
    EXPECT_EQ(it->className, "ListClass");
    EXPECT_EQ(it->processName, "lumivane-testwindow");
    EXPECT_EQ(it->width, 200);
    EXPECT_EQ(it->height, 100);
    EXPECT_TRUE(it->isVisible);
    auto png = base64Decode(it->iconBase64);
    ASSERT_TRUE(png);
    auto icon = decodePng(*png);
    ASSERT_TRUE(icon);
    const std::uint32_t side = testwindow::kListedIconSide;
    ASSERT_EQ(icon->width, side);
    ASSERT_EQ(icon->height, side);
    for (std::uint32_t i = 0; i < side * side; ++i) {
        std::uint32_t argb = testwindow::iconPixel(i % side, i / side, side);
        std::uint32_t got = std::uint32_t(icon->bgra[i * 4]) | std::uint32_t(icon->bgra[i * 4 + 1]) << 8 |
                            std::uint32_t(icon->bgra[i * 4 + 2]) << 16 | std::uint32_t(icon->bgra[i * 4 + 3]) << 24;
        ASSERT_EQ(got, argb) << "icon pixel " << i;
    }
}

class X11CaptureTest : public X11Test {
protected:
    bool startOn(std::uint32_t id) {
        capture = WindowCapture::create(60);
        return capture && capture->initialize(id, &device) && capture->startCapture(sink.callback());
    }

    MemoryGpuDevice device;
    FrameSink sink;
    std::unique_ptr<WindowCapture> capture;
};

TEST_F(X11CaptureTest, StillWindowGivesOneExactFrame) {
    TestWindowProcess process({"--width", "64", "--height", "48"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return !frames.empty(); }));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) {
        return frames[0].width == 64 && frames[0].height == 48 && showsPattern(frames[0], 0);
    }, 1s));
    // A bounded look for frames that must not come; nothing is synchronised on it.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sink.count(), 1u);
}

TEST_F(X11CaptureTest, AnimatedWindowKeepsDeliveringNewFrames) {
    TestWindowProcess process({"--width", "32", "--height", "32", "--interval", "10"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(startOn(id));
    EXPECT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() >= 5; }));
}

TEST_F(X11CaptureTest, ResizeRecreatesPoolAndDeliversNewSize) {
    TestWindowProcess process({"--width", "64", "--height", "48"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return !frames.empty(); }));
    LogRecorder log;
    ASSERT_TRUE(resizeWindow(id, 80, 60));
    EXPECT_TRUE(log.waitFor("Recreating frame pool: 64x48 -> 80x60"));
    EXPECT_TRUE(sink.waitFor([](const auto& frames) {
        const Frame& last = frames.back();
        return last.width == 80 && last.height == 60 && showsPattern(last, 0);
    }));
    std::int32_t w = 0, h = 0;
    capture->getSize(w, h);
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 60);
}

TEST_F(X11CaptureTest, DestroyedWindowStopsCapture) {
    TestWindowProcess process({"--width", "40", "--height", "30"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return !frames.empty(); }));
    LogRecorder log;
    process.kill();
    ASSERT_TRUE(log.waitFor("Capture stopped"));
    int closed = log.indexOf("Captured window was closed");
    EXPECT_GE(closed, 0);
    EXPECT_LT(closed, log.indexOf("Capture stopped"));
    EXPECT_FALSE(capture->isCapturing());
}

TEST_F(X11CaptureTest, PointerOverWindowIsDrawnIntoFrame) {
    TestWindowProcess process({"--width", "64", "--height", "48"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    // The windows sit at the root's origin; the pointer goes back out of their way after.
    struct PointerAway {
        ~PointerAway() { warpPointer(1900, 1000); }
    } away;
    ASSERT_TRUE(warpPointer(30, 24));
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return !frames.empty(); }));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) {
        const Frame& f = frames.back();
        return f.width == 64 && !showsPattern(f, 0);
    }, 1s));
}

TEST_F(X11CaptureTest, PointerMovingOverStillWindowGivesFramesUntilItLeaves) {
    TestWindowProcess process({"--width", "64", "--height", "48"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    struct PointerAway {
        ~PointerAway() { warpPointer(1900, 1000); }
    } away;
    ASSERT_TRUE(warpPointer(1900, 1000));
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() == 1 && showsPattern(frames[0], 0); }));
    ASSERT_TRUE(warpPointer(20, 20));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() >= 2 && !showsPattern(frames.back(), 0); }));
    const std::size_t before = sink.count();
    ASSERT_TRUE(warpPointer(40, 30));
    ASSERT_TRUE(sink.waitFor([&](const auto& frames) { return frames.size() > before; }));
    // Leaving takes the cursor off the picture.
    ASSERT_TRUE(warpPointer(1900, 1000));
    EXPECT_TRUE(sink.waitFor([](const auto& frames) { return showsPattern(frames.back(), 0); }));
}

TEST_F(X11CaptureTest, HiddenWindowPausesCaptureUntilShownAndAnsweredFrameRequests) {
    TestWindowProcess process({"--width", "48", "--height", "32"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    ASSERT_TRUE(warpPointer(1900, 1000));
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() == 1; }));
    // A still window sends a frame when asked for one.
    capture->requestFrame();
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() == 2 && showsPattern(frames[1], 0); }));

    LogRecorder log;
    ASSERT_TRUE(setWindowMapped(id, false));
    capture->requestFrame();  // nothing to show while hidden
    ASSERT_TRUE(setWindowMapped(id, true));
    char shown[64];
    std::snprintf(shown, sizeof shown, "Captured window %x is shown again", id);
    EXPECT_TRUE(log.waitFor(shown));
    EXPECT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() >= 3 && showsPattern(frames.back(), 0); }));
    EXPECT_TRUE(capture->isCapturing());
    EXPECT_FALSE(log.has("Captured window was closed"));
}

TEST_F(X11CaptureTest, StoppedCaptureCanStartAgain) {
    TestWindowProcess process({"--width", "32", "--height", "24"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    ASSERT_TRUE(startOn(id));
    ASSERT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() == 1; }));
    capture->stopCapture();
    EXPECT_FALSE(capture->isCapturing());
    ASSERT_TRUE(capture->startCapture(sink.callback()));
    EXPECT_TRUE(sink.waitFor([](const auto& frames) { return frames.size() == 2 && showsPattern(frames[1], 0); }));
}

TEST_F(X11CaptureTest, InvalidWindowIsRefused) {
    capture = WindowCapture::create(60);
    ASSERT_TRUE(capture);
    LogRecorder log;
    EXPECT_FALSE(capture->initialize(0x7ffffff0, &device));
    EXPECT_TRUE(log.has("Invalid window handle"));
}

}  // namespace
}  // namespace lumivane::host
