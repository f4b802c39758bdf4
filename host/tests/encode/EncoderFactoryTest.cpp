#include "encode/EncoderFactory.h"
#include "gpu/memory/MemoryGpuDevice.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

// Offers the listed kinds but can build none of them, like a machine whose runtimes fail.
class HollowPlatform final : public EncoderPlatform {
public:
    explicit HollowPlatform(std::vector<EncoderType> kinds) : kinds_(std::move(kinds)) {}
    std::vector<EncoderType> probe(GpuDevice*) const override { return kinds_; }
    std::unique_ptr<EncoderBase> construct(EncoderType) const override { return nullptr; }

private:
    std::vector<EncoderType> kinds_;
};

EncoderConfig small() {
    EncoderConfig config;
    config.width = 320;
    config.height = 240;
    return config;
}

TEST(EncoderFactoryTest, ReturnsNullForKindsItCannotBuildOrInitialise) {
    MemoryGpuDevice device;
    EXPECT_EQ(EncoderFactory::createEncoder(EncoderType::NVENC, &device, small()), nullptr);
    EXPECT_EQ(EncoderFactory::createEncoder(static_cast<EncoderType>(7), &device, small()), nullptr);
    EncoderConfig odd = small();
    odd.width = 321;
    EXPECT_EQ(EncoderFactory::createEncoder(EncoderType::Software, &device, odd), nullptr);
    EXPECT_EQ(EncoderFactory::createBestEncoder(&device, odd), nullptr);
}

TEST(EncoderFactoryTest, GivesNothingWhenNoOfferedKindWorks) {
    MemoryGpuDevice device;
    EXPECT_EQ(EncoderFactory::createBestEncoder(HollowPlatform({}), &device, small()), nullptr);
    HollowPlatform offered({EncoderType::NVENC, EncoderType::Software});
    EXPECT_EQ(EncoderFactory::getAvailableEncoders(offered, &device).size(), 2u);
    EXPECT_EQ(EncoderFactory::createBestEncoder(offered, &device, small()), nullptr);
}

}  // namespace
}  // namespace lumivane::host
