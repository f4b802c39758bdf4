// Counts the allocations made on a stream's capture thread, from the window's damage to the
// encoded frame, once the stream runs: there should be none.

#include "capture/CaptureOrchestrator.h"

#include "fakes/AllocationCounter.h"
#include "TestWindowProcess.h"
#include "XTestHelpers.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace lumivane::host {
namespace {

using namespace std::chrono_literals;

TEST(FramePathAllocationX11Test, SteadyStreamAllocatesNothingPerFrame) {
    if (!std::getenv("DISPLAY")) GTEST_FAIL() << "DISPLAY is not set; run under scripts/test";
    ASSERT_TRUE(holdDisplayOpen());
    ASSERT_TRUE(warpPointer(1900, 1060));
    // Not a multiple of 16, so padding is on the path.
    TestWindowProcess process({"--width", "330", "--height", "250", "--interval", "5"});
    std::uint32_t id = process.waitForWindow();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(process.waitForLine("frame 2"));

    constexpr std::size_t kFrames = 40;
    std::array<std::uint64_t, kFrames> counts{};
    std::size_t seen = 0;  // capture thread only, until done
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    auto orchestrator = CaptureOrchestrator::create();
    ASSERT_TRUE(orchestrator->initialize());
    orchestrator->setEncodedFrameCallback([&](std::uint8_t, const std::uint8_t*, std::size_t, bool, auto) {
        if (seen < kFrames) counts[seen++] = test::allocations.load();
        if (seen == kFrames) {
            ++seen;
            std::lock_guard lock(mutex);
            finished = true;
            done.notify_all();
        }
    });
    // Process-wide: the frame path spans the grabbing and the encoding thread, and nothing
    // else runs meanwhile (the test waits, the window is another process).
    test::countAllocations = true;
    ASSERT_TRUE(orchestrator->startCapture(id, 1));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 60s, [&] { return finished; }));
    }
    orchestrator->stopCapture(1);
    test::countAllocations = false;
    // The first frames set up the stream; after those, nothing.
    EXPECT_EQ(counts[kFrames - 1], counts[10]) << "allocations over " << kFrames - 11 << " frames";
    orchestrator->shutdown();
}

}  // namespace
}  // namespace lumivane::host
