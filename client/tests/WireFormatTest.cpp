// The bytes the client writes and the packets it accepts, against the documented examples.

#include "ControlMessages.h"
#include "DiscoveryClient.h"
#include "MediaPackets.h"
#include "network/DiscoveryResponder.h"
#include "network/MediaPacketHeader.h"
#include "network/VideoFrameHeader.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes videoBody(std::size_t frameSize, std::uint8_t frameType = 1) {
    Bytes body(16 + frameSize, 0xAB);
    host::MediaPacketHeader media{1, 1, 3, 1, 0, static_cast<std::uint16_t>(std::min<std::size_t>(frameSize + 8, 65535))};
    media.writeTo(body.data());
    host::VideoFrameHeader video{0x01020304, frameType, {0, 1, 0}};
    video.writeTo(body.data() + 8);
    return body;
}

TEST(WireFormatTest, ControlMessagesMatchTheDocumentedBytes) {
    EXPECT_EQ(feedbackMessage(16, 33), (Bytes{0x0D, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x21, 0}));
    EXPECT_EQ(keyframeRequestMessage(2), (Bytes{2, 0, 0, 0, 0x10, 2}));
    host::InputEvent wheel;
    wheel.streamId = 1;
    wheel.type = 1;
    wheel.action = 4;
    wheel.x = wheel.y = 0x8000;
    wheel.wheelDelta = 120;
    EXPECT_EQ(inputEventMessage(wheel), (Bytes{0x0C, 0, 0, 0, 1, 1, 4, 0, 0x80, 0, 0x80, 0, 0, 0x78, 0, 0}));
    host::ClientInput key;
    key.streamId = 2;
    key.type = 2;
    key.action = 1;
    key.code = 0x41;
    key.modifiers = 3;
    key.wheelDelta = -1;
    const auto m = videoInputMessage(key);
    ASSERT_EQ(m.size(), 17u);
    EXPECT_EQ(m[4], 3);
    const auto back = host::ClientInput::readFrom(m.data() + 5);
    EXPECT_EQ(back.code, 0x41);
    EXPECT_EQ(back.modifiers, 3);
    EXPECT_EQ(back.wheelDelta, -1);
}

TEST(WireFormatTest, VideoPacketsAreReadAndCheckedAgainstTheLayout) {
    std::string problem;
    auto body = videoBody(100);
    auto p = parseVideoPacket(body.data(), body.size(), problem);
    ASSERT_TRUE(p) << problem;
    EXPECT_EQ(p->streamId, 3);
    EXPECT_EQ(p->timestamp90k, 0x01020304u);
    EXPECT_TRUE(p->keyframe);
    EXPECT_EQ(p->frameSize, 100u);
    EXPECT_EQ(p->frame, body.data() + 16);

    auto big = videoBody(70000, 3);
    p = parseVideoPacket(big.data(), big.size(), problem);
    ASSERT_TRUE(p) << "payload length saturates at 65535: " << problem;
    EXPECT_FALSE(p->keyframe);

    auto wrongLength = videoBody(100);
    wrongLength[6] = 107;
    EXPECT_FALSE(parseVideoPacket(wrongLength.data(), wrongLength.size(), problem));
    EXPECT_NE(problem.find("payload length 107"), std::string::npos);
    auto wrongType = videoBody(10, 2);
    EXPECT_FALSE(parseVideoPacket(wrongType.data(), wrongType.size(), problem));
    auto audioInVideo = videoBody(10);
    audioInVideo[1] = 2;
    EXPECT_FALSE(parseVideoPacket(audioInVideo.data(), audioInVideo.size(), problem));
    auto reserved = videoBody(10);
    reserved[14] = 0;
    EXPECT_FALSE(parseVideoPacket(reserved.data(), reserved.size(), problem));
    EXPECT_FALSE(parseVideoPacket(body.data(), 15, problem)) << "shorter than the headers";
}

TEST(WireFormatTest, AudioPayloadLengthWrapsRatherThanSaturates) {
    Bytes body(12 + 70000, 0);
    host::MediaPacketHeader{1, 2, 0, 0, 5, static_cast<std::uint16_t>(70004)}.writeTo(body.data());
    body[8] = 0xE8;
    body[9] = 0x03;
    std::string problem;
    auto p = parseAudioPacket(body.data(), body.size(), problem);
    ASSERT_TRUE(p) << problem;
    EXPECT_EQ(p->timestampMs, 1000u);
    EXPECT_EQ(p->sequence, 5);
    EXPECT_EQ(p->opusSize, 70000u);
    body[7] = 1;  // flags
    EXPECT_FALSE(parseAudioPacket(body.data(), body.size(), problem));
}

TEST(WireFormatTest, DiscoveryAnswersAreParsedStrictly) {
    EXPECT_EQ(discoveryRequest("Quest"), (Bytes{'L', 'U', 'M', 'I', 'V', 'A', 'N', 'E', '_', 'D', 'I', 'S', 'C', 'O',
                                                'V', 'E', 'R', ' ', 'Q', 'u', 'e', 's', 't'}));
    const std::string answer("LUMIVANE_HOST\0DESKTOP-1\0" "9876\0", 29);
    auto a = parseDiscoveryAnswer(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->hostName, "DESKTOP-1");
    EXPECT_EQ(a->signallingPort, 9876);
    for (const std::string& bad : {std::string("LUMIVANE_HOST\0x\0" "0\0", 18), std::string("LUMIVANE_HOST\0x\0" "70000\0", 22),
                                  std::string("LUMIVANE_HOST\0x", 15), std::string("LUMIVANE_HOSX\0x\0" "1\0", 18),
                                  std::string("LUMIVANE_HOST\0x\0" "12a\0", 20)}) {
        EXPECT_FALSE(parseDiscoveryAnswer(reinterpret_cast<const std::uint8_t*>(bad.data()), bad.size()));
    }
}

TEST(WireFormatTest, DiscoveryFindsTheRealResponderByUnicast) {
    host::DiscoveryResponder responder("test-host", 9876, 0);
    ASSERT_TRUE(responder.start());
    DiscoveryClient::Target target{boost::asio::ip::make_address_v4("127.0.0.1"), responder.port(), false};
    std::string error;
    auto answers = DiscoveryClient::discover(target, "unit-test", 5000, error);
    ASSERT_EQ(answers.size(), 1u) << error;
    EXPECT_EQ(answers[0].hostName, "test-host");
    EXPECT_EQ(answers[0].signallingPort, 9876);
    EXPECT_EQ(answers[0].address, "127.0.0.1");
    responder.stop();

    answers = DiscoveryClient::discover(target, "unit-test", 200, error);
    EXPECT_TRUE(answers.empty());
    EXPECT_TRUE(error.empty()) << "silence is no socket error: " << error;
}

}  // namespace
}  // namespace lumivane::client
