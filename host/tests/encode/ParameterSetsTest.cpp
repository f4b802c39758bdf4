#include "encode/ParameterSets.h"

#include "fakes/FakeEncoder.h"
#include "gpu/memory/MemoryTexture.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kStart4{0, 0, 0, 1};
const Bytes kStart3{0, 0, 1};
const Bytes kSps{0x67, 0x42, 0xC0, 0x1F, 0xDA};
const Bytes kPps{0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr{0x65, 0x88, 0x84, 0x21};

CodecConfig scan(ParameterSets& sets, const Bytes& au, bool hevc) {
    sets.extractParameterSets(au.data(), au.size(), hevc);
    return sets.codecConfig();
}

TEST(ParameterSets, H264KeyframeStoresSpsAndPpsWithoutStartCodes) {
    ParameterSets sets;
    const CodecConfig c = scan(sets, join({kStart4, kSps, kStart4, kPps, kStart3, kIdr}), false);
    EXPECT_EQ(c.sps, kSps);
    EXPECT_EQ(c.pps, kPps);
    EXPECT_TRUE(c.vps.empty());
    EXPECT_TRUE(c.valid);
}

TEST(ParameterSets, LastSetWinsAndSetsSurviveSliceOnlyUnits) {
    ParameterSets sets;
    const Bytes newerSps{0x27, 0x64, 0x00, 0x33, 0xAC};  // nal_ref_idc 1, type 7
    scan(sets, join({kStart4, kSps, kStart4, kPps, kStart4, newerSps, kStart3, kIdr}), false);
    const CodecConfig c = scan(sets, join({kStart4, kIdr, kStart3, Bytes{0x41, 0x9A, 0x02}}), false);
    EXPECT_EQ(c.sps, newerSps);
    EXPECT_EQ(c.pps, kPps);
    EXPECT_TRUE(c.valid);
}

TEST(ParameterSets, ParameterSetAtTheEndRunsToTheEnd) {
    ParameterSets sets;
    const CodecConfig c = scan(sets, join({kStart3, kIdr, kStart4, kPps}), false);
    EXPECT_EQ(c.pps, kPps);
    EXPECT_TRUE(c.sps.empty());
    EXPECT_FALSE(c.valid);  // a PPS alone is not enough
}

TEST(ParameterSets, TinyOrNullBuffersChangeNothing) {
    ParameterSets sets;
    const Bytes tiny{0, 0, 1, 0x67};
    sets.extractParameterSets(tiny.data(), tiny.size(), false);
    sets.extractParameterSets(nullptr, 100, false);
    const Bytes noStartCode{0x67, 0x42, 0x00, 0x0A, 0x68, 0xCE};
    sets.extractParameterSets(noStartCode.data(), noStartCode.size(), false);
    const CodecConfig c = sets.codecConfig();
    EXPECT_TRUE(c.sps.empty());
    EXPECT_TRUE(c.pps.empty());
    EXPECT_FALSE(c.valid);
}

TEST(ParameterSets, HevcStoresVpsSpsAndPps) {
    const Bytes vps{0x40, 0x01, 0x0C, 0x01, 0xFF};
    const Bytes sps{0x42, 0x01, 0x01, 0x01, 0x60};
    const Bytes pps{0x44, 0x01, 0xC1, 0x72};
    const Bytes idr{0x26, 0x01, 0xAF, 0x09};  // IDR_W_RADL
    ParameterSets sets;
    CodecConfig c = scan(sets, join({kStart4, vps, kStart4, sps, kStart4, pps, kStart4, idr}), true);
    EXPECT_EQ(c.vps, vps);
    EXPECT_EQ(c.sps, sps);
    EXPECT_EQ(c.pps, pps);
    EXPECT_TRUE(c.valid);

    ParameterSets noVps;
    c = scan(noVps, join({kStart4, sps, kStart4, pps, kStart4, idr}), true);
    EXPECT_TRUE(c.vps.empty());
    EXPECT_TRUE(c.valid);

    // H.264 rules do not apply to HEVC headers: 0x67 & 0x7E is type 51.
    ParameterSets mixed;
    c = scan(mixed, join({kStart4, kSps, kStart4, kPps, kStart4, idr}), true);
    EXPECT_FALSE(c.valid);
}

TEST(ParameterSets, DescribeNalTypeNamesTheFirstUnit) {
    auto name = [](const Bytes& b) { return std::string(describeNalType(b.data(), b.size())); };
    EXPECT_EQ(name(join({kStart4, kSps})), "SPS");
    EXPECT_EQ(name(join({kStart3, kPps})), "PPS");
    EXPECT_EQ(name(join({kStart4, kIdr})), "IDR slice");
    EXPECT_EQ(name(join({kStart3, Bytes{0x41, 0x9A}})), "Non-IDR slice");
    EXPECT_EQ(name(join({kStart3, Bytes{0x06, 0x05}})), "SEI");
    EXPECT_EQ(name(join({kStart3, Bytes{0x09, 0xF0}})), "AUD");
    EXPECT_EQ(name(join({kStart3, Bytes{0x0C, 0xFF}})), "Other");
    EXPECT_EQ(name(Bytes{0, 0, 1, 0x67}), "Unknown");
    EXPECT_EQ(name(Bytes{0x67, 0, 0, 1, 0x68}), "Unknown");
    EXPECT_STREQ(describeNalType(nullptr, 10), "Unknown");
}

TEST(FakeEncoder, EmitsParameterSetsBeforeEveryIdr) {
    FakeEncoder encoder;
    EncoderConfig config;
    config.gopLength = 3;
    ASSERT_TRUE(encoder.initialize(nullptr, config));
    std::vector<std::pair<bool, std::string>> frames;
    encoder.setFrameCallback([&](const EncodedFrame& f) {
        frames.emplace_back(f.isKeyframe, describeNalType(f.data, f.size));
        EXPECT_TRUE(encoder.getCodecConfig().valid);  // no encoder lock held here
    });
    MemoryTexture texture(16, 16);
    EXPECT_FALSE(encoder.encodeFrame(nullptr));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(encoder.encodeFrame(&texture));
    encoder.requestKeyframe();
    ASSERT_TRUE(encoder.encodeFrame(&texture));

    const std::vector<std::pair<bool, std::string>> expected{
        {true, "SPS"}, {false, "Non-IDR slice"}, {false, "Non-IDR slice"}, {true, "SPS"}, {true, "SPS"}};
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(encoder.encodeCalls, 6);
    EXPECT_EQ(encoder.getStats().framesEncoded, 5u);
}

}  // namespace
}  // namespace lumivane::host
