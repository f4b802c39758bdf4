#include "FlvStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lumivane::bench {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendBigEndian(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(value >> (8 * i)));
}

void appendTag(Bytes& out, std::uint8_t type, const Bytes& data) {
    out.push_back(type);
    appendBigEndian(out, std::uint32_t(data.size()), 3);
    out.insert(out.end(), {0, 0, 0, 0, 0, 0, 0});  // time stamp and stream id
    out.insert(out.end(), data.begin(), data.end());
    appendBigEndian(out, std::uint32_t(11 + data.size()), 4);
}

// Header, a script tag, the decoder configuration, then one unit of two NAL units.
Bytes sampleStream(std::uint32_t secondNalLength = 2) {
    Bytes out{'F', 'L', 'V', 1, 1, 0, 0, 0, 9, 0, 0, 0, 0};
    appendTag(out, 18, {2, 0, 10, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't', 'a'});
    appendTag(out, 9, {0x17, 0, 0, 0, 0, 1, 0x42, 0, 0x1F, 0xFF, 0xE1, 0, 3, 0x67, 1, 2, 1, 0, 2, 0x68, 3});
    Bytes unit{0x17, 1, 0, 0, 0};
    appendBigEndian(unit, 2, 4);
    unit.insert(unit.end(), {0x65, 0xAA});
    appendBigEndian(unit, secondNalLength, 4);
    unit.insert(unit.end(), {0x06, 0x01});
    appendTag(out, 9, unit);
    return out;
}

struct Seen {
    Bytes sps, pps;
    std::vector<Bytes> units;
    FlvStream::Handlers handlers() {
        return {[this](const Bytes& s, const Bytes& p) { sps = s, pps = p; },
                [this](const std::uint8_t* d, std::size_t n) { units.emplace_back(d, d + n); }};
    }
};

TEST(FlvStreamTest, UnitsComeOutWholeHoweverTheBytesArrive) {
    const Bytes stream = sampleStream();
    const Bytes annexB{0, 0, 0, 1, 0x65, 0xAA, 0, 0, 0, 1, 0x06, 0x01};
    for (std::size_t chunk : {std::size_t(1), std::size_t(7), stream.size()}) {
        Seen seen;
        FlvStream flv(seen.handlers());
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            ASSERT_TRUE(flv.push(&stream[at], std::min(chunk, stream.size() - at))) << flv.error();
        }
        EXPECT_EQ(seen.sps, (Bytes{0x67, 1, 2}));
        EXPECT_EQ(seen.pps, (Bytes{0x68, 3}));
        ASSERT_EQ(seen.units.size(), 1u) << "chunks of " << chunk;
        EXPECT_EQ(seen.units[0], annexB);
    }
}

TEST(FlvStreamTest, MalformedStreamsAreRefusedNotOverrun) {
    Seen seen;
    FlvStream notFlv(seen.handlers());
    const Bytes junk(32, 0x47);
    EXPECT_FALSE(notFlv.push(junk.data(), junk.size()));
    EXPECT_EQ(notFlv.error(), "not an FLV stream");

    const Bytes overrun = sampleStream(1000);
    FlvStream flv(seen.handlers());
    EXPECT_FALSE(flv.push(overrun.data(), overrun.size()));
    EXPECT_EQ(flv.error(), "NAL unit overruns its tag");
    EXPECT_TRUE(seen.units.empty());
    EXPECT_FALSE(flv.push(overrun.data(), 1)) << "stays failed";
}

}  // namespace
}  // namespace lumivane::bench
