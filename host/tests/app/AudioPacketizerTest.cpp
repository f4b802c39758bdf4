#include "app/AudioPacketizer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace lumivane::host {
namespace {

constexpr std::size_t kPacket = 960;  // 10 ms of 48 kHz stereo

// Feeds consecutive sample values in callbacks of the given sizes; returns the packets cut.
std::vector<std::vector<std::int16_t>> feed(AudioPacketizer& packetizer, const std::vector<std::size_t>& sizes) {
    std::vector<std::vector<std::int16_t>> packets;
    std::int16_t next = 0;
    for (std::size_t size : sizes) {
        std::vector<std::int16_t> samples(size);
        std::iota(samples.begin(), samples.end(), next);
        next = static_cast<std::int16_t>(next + size);
        packetizer.push(samples.data(), samples.size(), [&](const std::int16_t* packet) {
            packets.emplace_back(packet, packet + kPacket);
        });
    }
    return packets;
}

void expectConsecutive(const std::vector<std::vector<std::int16_t>>& packets) {
    std::int16_t expected = 0;
    for (const auto& packet : packets) {
        for (std::int16_t sample : packet) ASSERT_EQ(sample, expected++);
    }
}

TEST(AudioPacketizer, CallbacksOf441FramesBecome960SamplePacketsInOrder) {
    AudioPacketizer packetizer(kPacket);
    // 441 stereo frames are 882 samples; the first packet needs two callbacks.
    auto packets = feed(packetizer, {882});
    EXPECT_TRUE(packets.empty());
    EXPECT_EQ(packetizer.pending(), 882u);

    packets = feed(packetizer, std::vector<std::size_t>(99, 882));  // 100 callbacks in all
    // 100 callbacks, 88200 samples: 91 packets and 840 samples waiting.
    EXPECT_EQ(packets.size(), 91u);
    EXPECT_EQ(packetizer.pending(), 88200u - 91 * kPacket);
}

TEST(AudioPacketizer, SamplesLeaveInArrivalOrderAcrossUnevenCallbacks) {
    AudioPacketizer packetizer(kPacket);
    const auto packets = feed(packetizer, {1, 959, 5000, 7, 2713, 882, 882});
    EXPECT_EQ(packets.size(), (1 + 959 + 5000 + 7 + 2713 + 882 + 882) / kPacket);
    expectConsecutive(packets);
}

TEST(AudioPacketizer, EmptyCallbackEmitsNothing) {
    AudioPacketizer packetizer(kPacket);
    EXPECT_TRUE(feed(packetizer, {0, 0}).empty());
    EXPECT_EQ(packetizer.pending(), 0u);
}

}  // namespace
}  // namespace lumivane::host
