#include "encode/DesktopScene.h"
#include "encode/EncoderFactory.h"
#include "encode/H264Decoder.h"
#include "encode/software/SoftwareEncoder.h"
#include "gpu/memory/MemoryGpuDevice.h"

#include <gtest/gtest.h>
#include <libyuv/convert.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace lumivane::host {
namespace {

using testing::DesktopScene;
using testing::I420;

struct Frame {
    std::vector<std::uint8_t> bytes;
    bool keyframe = false;
    std::uint32_t number = 0;
};

std::vector<int> nalTypes(const std::vector<std::uint8_t>& b) {
    std::vector<int> types;
    for (std::size_t i = 0; i + 3 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) types.push_back(b[i + 3] & 0x1F);
    }
    return types;
}

I420 toI420(const Texture& t) {
    I420 img;
    img.width = int(t.width());
    img.height = int(t.height());
    img.y.resize(std::size_t(img.width) * img.height);
    img.u.resize(img.y.size() / 4);
    img.v.resize(img.y.size() / 4);
    libyuv::ARGBToI420(t.mappedPixels(), int(t.stride()), img.y.data(), img.width, img.u.data(), img.width / 2,
                       img.v.data(), img.width / 2, img.width, img.height);
    return img;
}

class SoftwareEncoderTest : public ::testing::Test {
protected:
    bool start(const EncoderConfig& config) {
        encoder.setFrameCallback([this](const EncodedFrame& f) {
            frames.push_back({std::vector<std::uint8_t>(f.data, f.data + f.size), f.isKeyframe, f.frameNumber});
        });
        return encoder.initialize(&device, config);
    }
    std::unique_ptr<Texture> render(std::uint32_t n, std::uint32_t w, std::uint32_t h) {
        auto texture = device.createTexture(w, h, TextureFormat::BGRA8);
        DesktopScene(w, h).render(n, texture->mappedPixels(), texture->stride());
        return texture;
    }
    static EncoderConfig sized(std::uint32_t w, std::uint32_t h) {
        EncoderConfig config;
        config.width = w;
        config.height = h;
        return config;
    }

    MemoryGpuDevice device;
    SoftwareEncoder encoder;
    std::vector<Frame> frames;
};

TEST_F(SoftwareEncoderTest, DesktopContentDecodesCloseToTheSourceAtTheDefaultBitrate) {
    ASSERT_TRUE(start(sized(1280, 720)));
    testing::H264Decoder decoder;
    double worst = 100.0;
    for (std::uint32_t n = 0; n < 30; ++n) {
        auto texture = render(n, 1280, 720);
        ASSERT_TRUE(encoder.encodeFrame(texture.get()));
        ASSERT_EQ(frames.size(), n + 1u) << "each frame leaves the encoder inside its call";
        I420 decoded;
        ASSERT_TRUE(decoder.decode(frames.back().bytes.data(), frames.back().bytes.size(), decoded)) << n;
        ASSERT_EQ(decoded.width, 1280);
        ASSERT_EQ(decoded.height, 720);
        // A one-frame VBV buffer caps the opening IDR; the next P-frames refine it.
        if (n >= 3) worst = std::min(worst, testing::psnr(decoded, toI420(*texture)));
    }
    EXPECT_GE(worst, 35.0);
    EXPECT_EQ(encoder.getStats().framesEncoded, 30u);
}

TEST_F(SoftwareEncoderTest, KeyframesFollowTheGopAndRequestsAndCarryParameterSets) {
    EncoderConfig config = sized(640, 360);
    config.gopLength = 10;
    ASSERT_TRUE(start(config));
    for (std::uint32_t n = 0; n < 26; ++n) {
        if (n == 14) encoder.requestKeyframe();
        auto texture = render(n, 640, 360);
        ASSERT_TRUE(encoder.encodeFrame(texture.get()));
    }
    ASSERT_EQ(frames.size(), 26u);
    std::vector<std::uint32_t> keyframes;
    for (const Frame& f : frames) {
        std::vector<int> types = nalTypes(f.bytes);
        if (!f.keyframe) {
            EXPECT_EQ(std::count(types.begin(), types.end(), 7), 0) << f.number;
            continue;
        }
        keyframes.push_back(f.number);
        auto sps = std::find(types.begin(), types.end(), 7);
        auto pps = std::find(types.begin(), types.end(), 8);
        auto idr = std::find(types.begin(), types.end(), 5);
        ASSERT_NE(idr, types.end()) << f.number;
        EXPECT_LT(sps, pps) << f.number;
        EXPECT_LT(pps, idr) << f.number;
    }
    EXPECT_EQ(keyframes, (std::vector<std::uint32_t>{0, 10, 14, 24}));
    CodecConfig codec = encoder.getCodecConfig();
    ASSERT_TRUE(codec.valid);
    EXPECT_EQ(codec.sps[0] & 0x1F, 7);
    EXPECT_EQ(codec.pps[0] & 0x1F, 8);
}

// One slice per thread, and no more threads than cores: a thread waiting for a core only
// delays the frame.
TEST_F(SoftwareEncoderTest, EachPictureHasTheConfiguredSlicesUpToTheCores) {
    EncoderConfig config = sized(640, 368);
    config.sliceCount = 4;
    ASSERT_TRUE(start(config));
    for (std::uint32_t n = 0; n < 3; ++n) ASSERT_TRUE(encoder.encodeFrame(render(n, 640, 368).get()));
    const long expected = long(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    for (const Frame& f : frames) {
        std::vector<int> types = nalTypes(f.bytes);
        long slices = std::count(types.begin(), types.end(), f.keyframe ? 5 : 1);
        EXPECT_EQ(slices, expected) << f.number;
    }
}

TEST_F(SoftwareEncoderTest, LoweringTheBitrateShrinksTheOutput) {
    ASSERT_TRUE(start(sized(1280, 720)));
    auto batchBytes = [&](std::uint32_t first) {
        std::size_t before = frames.size();
        for (std::uint32_t n = first; n < first + 20; ++n) EXPECT_TRUE(encoder.encodeFrame(render(n, 1280, 720).get()));
        std::size_t sum = 0;
        for (std::size_t i = before + 10; i < frames.size(); ++i) sum += frames[i].bytes.size();
        return sum;
    };
    std::size_t high = batchBytes(0);
    encoder.setBitrate(2000, 4000);
    std::size_t low = batchBytes(20);
    EXPECT_LT(low * 2, high) << "high " << high << " low " << low;

    EncoderStats stats = encoder.getStats();
    std::size_t total = 0;
    for (const Frame& f : frames) total += f.bytes.size();
    EXPECT_EQ(stats.framesEncoded, 40u);
    EXPECT_EQ(stats.bytesEncoded, total);
    EXPECT_GT(stats.averageEncodeTimeMs, 0.0);
}

// The mean of |luma - expected| over a region of a decoded picture.
double meanLumaError(const I420& picture, int x0, int y0, int x1, int y1, const std::function<int(int, int)>& expected) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) sum += std::abs(int(picture.y[std::size_t(y) * picture.width + x]) - expected(x, y));
    return sum / (double(x1 - x0) * (y1 - y0));
}

TEST_F(SoftwareEncoderTest, PadsSmallerFramesWithBlackInItsOwnPicture) {
    EncoderConfig config = sized(336, 256);
    config.gopLength = 1;  // every picture stands alone, so each shows only its own frame
    ASSERT_TRUE(start(config));
    ASSERT_TRUE(encoder.acceptsUnpaddedFrames());
    testing::H264Decoder decoder;
    for (auto [w, h] : {std::pair{330u, 250u}, std::pair{200u, 120u}}) {
        auto texture = render(w, w, h);
        ASSERT_TRUE(encoder.encodeFrame(texture.get())) << w;
        I420 decoded;
        ASSERT_TRUE(decoder.decode(frames.back().bytes.data(), frames.back().bytes.size(), decoded));
        ASSERT_EQ(decoded.width, 336);
        ASSERT_EQ(decoded.height, 256);
        const I420 source = toI420(*texture);
        const auto content = [&](int x, int y) { return int(source.y[std::size_t(y) * source.width + x]); };
        const auto black = [](int, int) { return 16; };
        EXPECT_LT(meanLumaError(decoded, 0, 0, int(w), int(h), content), 4.0) << w;
        // The margins, including what the larger frame before left there.
        EXPECT_LT(meanLumaError(decoded, int(w) + 2, 0, 336, 256, black), 3.0) << w;
        EXPECT_LT(meanLumaError(decoded, 0, int(h) + 2, 336, 256, black), 3.0) << w;
    }
}

TEST_F(SoftwareEncoderTest, RefusesWhatItCannotEncode) {
    auto texture = render(0, 640, 360);
    EXPECT_FALSE(encoder.encodeFrame(texture.get())) << "uninitialised";
    EncoderConfig hevc = sized(640, 360);
    hevc.codec = "hevc";
    EXPECT_FALSE(encoder.initialize(&device, hevc));
    EXPECT_FALSE(encoder.initialize(&device, sized(641, 360)));
    EXPECT_FALSE(encoder.initialize(&device, sized(0, 360)));
    EXPECT_FALSE(encoder.isInitialized());

    ASSERT_TRUE(start(sized(640, 360)));
    EXPECT_FALSE(encoder.encodeFrame(nullptr));
    EXPECT_FALSE(encoder.encodeFrame(render(0, 1280, 720).get())) << "wrong size";
    class GpuOnlyTexture : public Texture {
        std::uint32_t width() const override { return 640; }
        std::uint32_t height() const override { return 360; }
    } gpuOnly;
    EXPECT_FALSE(encoder.encodeFrame(&gpuOnly));
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(encoder.getStats().framesEncoded, 0u);
}

TEST_F(SoftwareEncoderTest, KeepsTheFirstConfigurationAndSurvivesItsLifecycle) {
    EncoderConfig config = sized(640, 360);
    config.fps = 0;
    ASSERT_TRUE(start(config));
    EXPECT_TRUE(encoder.initialize(&device, sized(1280, 720)));
    EXPECT_TRUE(encoder.encodeFrame(render(0, 640, 360).get()));
    EXPECT_FALSE(encoder.encodeFrame(render(0, 1280, 720).get()));

    EXPECT_FALSE(encoder.reconfigure(sized(1280, 720)));
    EXPECT_TRUE(encoder.reconfigure(sized(640, 360)));
    EXPECT_TRUE(encoder.encodeFrame(render(1, 640, 360).get()));

    encoder.shutdown();
    EXPECT_FALSE(encoder.isInitialized());
    EXPECT_FALSE(encoder.encodeFrame(render(2, 640, 360).get()));
    EXPECT_FALSE(encoder.reconfigure(sized(640, 360)));
    EXPECT_TRUE(encoder.getCodecConfig().valid);
    EXPECT_EQ(encoder.getStats().framesEncoded, 2u);

    ASSERT_TRUE(encoder.initialize(&device, sized(320, 240)));
    EXPECT_TRUE(encoder.encodeFrame(render(0, 320, 240).get()));
    EXPECT_TRUE(frames.back().keyframe) << "a new session starts with an IDR";
}

// The Linux platform offers the software encoder, and the factory builds it.
TEST(SoftwareEncoderPlatformTest, IsWhatTheFactoryPicksHere) {
    MemoryGpuDevice device;
    EncoderConfig config;
    config.width = 320;
    config.height = 240;
    EXPECT_EQ(EncoderFactory::getAvailableEncoders(&device), std::vector<EncoderType>{EncoderType::Software});
    auto encoder = EncoderFactory::createBestEncoder(&device, config);
    ASSERT_NE(encoder, nullptr);
    EXPECT_STREQ(encoder->getName(), "Software");
    EXPECT_TRUE(encoder->isInitialized());
}

}  // namespace
}  // namespace lumivane::host
