#include "WavWriter.h"

#include "core/LittleEndian.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace lumivane::client {
namespace {

namespace fs = std::filesystem;

struct TempFile {
    fs::path path = fs::temp_directory_path() / ("lvwav-" + std::to_string(::getpid()) + ".wav");
    ~TempFile() { fs::remove(path); }
    std::vector<std::uint8_t> bytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST(WavWriterTest, HeaderDescribesStereo48kAndSizesArePatchedOnClose) {
    TempFile file;
    WavWriter wav;
    std::string error;
    ASSERT_TRUE(wav.open(file.path.string(), 48000, 2, error)) << error;
    const std::vector<std::int16_t> pcm{1, -1, 0x1234, -32768, 32767, 0};
    ASSERT_TRUE(wav.write(pcm.data(), 3, error));
    ASSERT_TRUE(wav.write(pcm.data(), 1, error));
    ASSERT_TRUE(wav.close());
    const auto b = file.bytes();
    ASSERT_EQ(b.size(), 44u + 16u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(host::loadLe32(b.data() + 4), 36u + 16u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(host::loadLe16(b.data() + 20), 1) << "PCM";
    EXPECT_EQ(host::loadLe16(b.data() + 22), 2);
    EXPECT_EQ(host::loadLe32(b.data() + 24), 48000u);
    EXPECT_EQ(host::loadLe32(b.data() + 28), 192000u) << "byte rate";
    EXPECT_EQ(host::loadLe16(b.data() + 32), 4) << "block align";
    EXPECT_EQ(host::loadLe16(b.data() + 34), 16);
    EXPECT_EQ(host::loadLe32(b.data() + 40), 16u);
    EXPECT_EQ(static_cast<std::int16_t>(host::loadLe16(b.data() + 44 + 6)), -32768);
    EXPECT_EQ(wav.framesWritten(), 4u);
}

TEST(WavWriterTest, StopsAtTheSizeTheHeaderCanStateInsteadOfWrappingIt) {
    TempFile file;
    WavWriter wav(12);  // three stereo frames at most
    std::string error;
    ASSERT_TRUE(wav.open(file.path.string(), 48000, 2, error));
    const std::vector<std::int16_t> pcm(8, 7);
    ASSERT_TRUE(wav.write(pcm.data(), 2, error));
    EXPECT_FALSE(wav.write(pcm.data(), 2, error));
    EXPECT_NE(error.find("full"), std::string::npos);
    EXPECT_FALSE(wav.write(pcm.data(), 1, error)) << "nothing more once full";
    ASSERT_TRUE(wav.close());
    EXPECT_EQ(host::loadLe32(file.bytes().data() + 40), 8u);
}

TEST(WavWriterTest, AnUnwritablePathIsReported) {
    WavWriter wav;
    std::string error;
    EXPECT_FALSE(wav.open("/nonexistent-folder/x.wav", 48000, 2, error));
    EXPECT_NE(error.find("/nonexistent-folder/x.wav"), std::string::npos);
    std::int16_t pcm[2] = {};
    EXPECT_FALSE(wav.write(pcm, 1, error));
    EXPECT_TRUE(wav.close());
}

}  // namespace
}  // namespace lumivane::client
