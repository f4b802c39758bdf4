#include "encode/EncoderFactory.h"
#include "gpu/memory/MemoryGpuDevice.h"

#include "fakes/LogCapture.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

// Until the vendors' encoders are built in, the Windows host fails every stream the way a
// PC without a supported GPU does.
TEST(HardwareEncoderPlatformWin32Test, OffersNoEncoderYet) {
    LogCapture log;
    MemoryGpuDevice device;
    EncoderConfig config;
    config.width = 320;
    config.height = 240;
    EXPECT_TRUE(EncoderFactory::getAvailableEncoders(&device).empty());
    EXPECT_EQ(EncoderFactory::createBestEncoder(&device, config), nullptr);
    EXPECT_TRUE(log.contains("No hardware encoders available")) << log.text();
    EXPECT_TRUE(log.contains("Failed to create any hardware encoder")) << log.text();
}

}  // namespace
}  // namespace lumivane::host
