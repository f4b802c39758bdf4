// The whole pipeline against the real X server (DISPLAY): X11 capture, padding, the
// software encoder, and a decoder standing in for the headset.

#include "capture/CaptureOrchestrator.h"

#include "LogRecorder.h"
#include "TestWindowProcess.h"
#include "X11WindowManager.h"
#include "XTestHelpers.h"
#include "encode/H264Decoder.h"
#include "testwindow/TestPattern.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;
using testing::H264Decoder;
using testing::I420;

class Collected {
public:
    void attach(CaptureOrchestrator& orchestrator) {
        orchestrator.setEncodedFrameCallback([this](std::uint8_t, const std::uint8_t* data, std::size_t size,
                                                    bool keyframe, auto) {
            std::lock_guard lock(mutex_);
            units_.emplace_back(data, data + size);
            keyframes_.push_back(keyframe);
            changed_.notify_all();
        });
        orchestrator.setResolutionChangeCallback([this](std::uint8_t, std::uint32_t w, std::uint32_t h) {
            std::lock_guard lock(mutex_);
            resized_ = {w, h};
            firstAfterResize_ = units_.size();  // the rebuilt encoder's output starts here
        });
    }
    // The index-th access unit, once it has come.
    std::optional<std::vector<std::uint8_t>> unit(std::size_t index) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 20s, [&] { return units_.size() > index; })) return std::nullopt;
        return units_[index];
    }
    // Whether the index-th access unit, once it has come, is a keyframe.
    std::optional<bool> keyframe(std::size_t index) {
        if (!unit(index)) return std::nullopt;
        std::lock_guard lock(mutex_);
        return keyframes_[index];
    }
    // True once an access unit at index from or later is a keyframe.
    bool keyframeFrom(std::size_t from) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] {
            for (std::size_t i = from; i < keyframes_.size(); ++i)
                if (keyframes_[i]) return true;
            return false;
        });
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return units_.size();
    }
    std::optional<std::vector<std::uint8_t>> firstAfterResize(std::uint32_t width, std::uint32_t height) {
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex_);
            auto resized = [&] { return resized_ == std::pair{width, height}; };
            if (!changed_.wait_for(lock, 20s, resized)) return std::nullopt;
            index = firstAfterResize_;
        }
        return unit(index);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<std::uint8_t>> units_;
    std::vector<bool> keyframes_;
    std::pair<std::uint32_t, std::uint32_t> resized_;
    std::size_t firstAfterResize_ = 0;
};

// Limited-range BT.601 luma, as the encoder's conversion computes it.
int luma(std::uint32_t rgb) {
    int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
    return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
}

double meanLumaError(const I420& picture, std::uint32_t width, std::uint32_t height) {
    double sum = 0;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            sum += std::abs(int(picture.y[std::size_t(y) * picture.width + x]) - luma(testwindow::patternPixel(x, y, 0)));
    return sum / (double(width) * height);
}

double meanLumaOfRows(const I420& picture, std::uint32_t firstRow, std::uint32_t width) {
    double sum = 0;
    for (std::uint32_t y = firstRow; y < std::uint32_t(picture.height); ++y)
        for (std::uint32_t x = 0; x < width; ++x) sum += picture.y[std::size_t(y) * picture.width + x];
    return sum / (double(picture.height - firstRow) * width);
}

TEST(CaptureOrchestratorX11Test, WindowComesOutAsDecodablePaddedH264AndFollowsResizes) {
    if (!std::getenv("DISPLAY")) GTEST_FAIL() << "DISPLAY is not set; run under scripts/test";
    ASSERT_TRUE(holdDisplayOpen());
    ASSERT_TRUE(warpPointer(1900, 1060));  // keep the cursor out of the picture
    TestWindowProcess process({"--width", "330", "--height", "250"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));

    auto orchestrator = CaptureOrchestrator::create();
    ASSERT_TRUE(orchestrator->initialize());
    EXPECT_STREQ(orchestrator->getEncoderName(), "Software");
    Collected collected;
    collected.attach(*orchestrator);
    ASSERT_TRUE(orchestrator->startCapture(id, 1));

    auto first = collected.unit(0);
    ASSERT_TRUE(first);
    H264Decoder decoder;
    I420 picture;
    ASSERT_TRUE(decoder.decode(first->data(), first->size(), picture));
    EXPECT_EQ(picture.width, 336);
    EXPECT_EQ(picture.height, 256);
    EXPECT_LT(meanLumaError(picture, 330, 250), 6.0);
    EXPECT_LT(meanLumaOfRows(picture, 252, 330), 24.0);  // black margin (luma 16)

    ASSERT_TRUE(resizeWindow(id, 400, 300));
    auto resized = collected.firstAfterResize(400, 300);
    ASSERT_TRUE(resized);
    H264Decoder fresh;  // the rebuilt encoder starts a new stream with its own parameter sets
    ASSERT_TRUE(fresh.decode(resized->data(), resized->size(), picture));
    EXPECT_EQ(picture.width, 400);
    EXPECT_EQ(picture.height, 304);
    EXPECT_LT(meanLumaError(picture, 400, 300), 6.0);

    orchestrator->stopCapture(1);
    orchestrator->shutdown();
}

TEST(CaptureOrchestratorX11Test, StillWindowAnswersKeyframeRequestsAndHiddenWindowPausesItsStream) {
    if (!std::getenv("DISPLAY")) GTEST_FAIL() << "DISPLAY is not set; run under scripts/test";
    ASSERT_TRUE(holdDisplayOpen());
    ASSERT_TRUE(warpPointer(1900, 1060));
    TestWindowProcess process({"--width", "320", "--height", "240"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 0"));
    auto orchestrator = CaptureOrchestrator::create();
    ASSERT_TRUE(orchestrator->initialize());
    Collected collected;
    collected.attach(*orchestrator);
    ASSERT_TRUE(orchestrator->startCapture(id, 1));
    ASSERT_EQ(collected.keyframe(0), std::optional<bool>(true));

    // The window never repaints: the keyframe comes from its last picture.
    orchestrator->requestKeyframe(1);
    EXPECT_TRUE(collected.keyframeFrom(1));

    // Hidden (minimised, another desktop): the stream stays and waits.
    ASSERT_TRUE(setWindowMapped(id, false));
    const std::size_t before = collected.count();
    orchestrator->update();
    std::uint32_t w = 0, h = 0;
    EXPECT_TRUE(orchestrator->getStreamResolution(1, w, h));
    ASSERT_TRUE(setWindowMapped(id, true));
    EXPECT_TRUE(collected.keyframeFrom(before)) << "shown again: a picture to start from";
    orchestrator->update();
    EXPECT_TRUE(orchestrator->getStreamResolution(1, w, h));

    // Only its end ends the stream.
    LogRecorder log;
    process.kill();
    ASSERT_TRUE(log.waitFor("Capture stopped"));
    orchestrator->update();
    EXPECT_FALSE(orchestrator->getStreamResolution(1, w, h));
    orchestrator->shutdown();
}

TEST(CaptureOrchestratorX11Test, MinimisedOrOtherDesktopWindowPausesItsStreamUnderAWindowManager) {
    ASSERT_TRUE(holdDisplayOpen());
    X11WindowManager manager;
    ASSERT_TRUE(manager.running()) << "openbox did not start";
    TestWindowProcess process({"--title", "Managed stream", "--width", "320", "--height", "240", "--x", "100",
                               "--y", "100"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(manager.waitUntilManaged(id));
    auto orchestrator = CaptureOrchestrator::create();
    ASSERT_TRUE(orchestrator->initialize());
    Collected collected;
    collected.attach(*orchestrator);
    ASSERT_TRUE(orchestrator->startCapture(id, 1));
    ASSERT_EQ(collected.keyframe(0), std::optional<bool>(true));
    std::uint32_t w = 0, h = 0;

    ASSERT_TRUE(manager.iconify(id));
    std::size_t before = collected.count();
    orchestrator->update();
    EXPECT_TRUE(orchestrator->getStreamResolution(1, w, h)) << "minimised";
    ASSERT_TRUE(manager.restore(id));
    EXPECT_TRUE(collected.keyframeFrom(before)) << "restored";

    ASSERT_TRUE(manager.switchToDesktop(1));
    before = collected.count();
    orchestrator->update();
    EXPECT_TRUE(orchestrator->getStreamResolution(1, w, h)) << "on a desktop not shown";
    ASSERT_TRUE(manager.switchToDesktop(0));
    EXPECT_TRUE(collected.keyframeFrom(before)) << "its desktop shown again";
    orchestrator->shutdown();
}

}  // namespace
}  // namespace lumivane::host
