#pragma once
// 16-bit PCM WAV written as it arrives; the header's sizes are patched on close, so a
// file cut short by a crash still holds its samples.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace lumivane::client {

class WavWriter {
public:
    // The RIFF size fields are 32 bits: a data chunk may not pass this.
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

    explicit WavWriter(std::uint64_t maxDataBytes = kMaxDataBytes) : maxDataBytes_(maxDataBytes) {}
    ~WavWriter() { close(); }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path, std::uint32_t sampleRate, std::uint16_t channels, std::string& error);
    // Interleaved samples, `frames` per channel. False once the file is full or a write
    // failed; nothing more is written then.
    bool write(const std::int16_t* samples, std::size_t frames, std::string& error);
    // Patches the sizes and closes; false when that failed. Safe to call twice.
    bool close();

    std::uint64_t framesWritten() const { return dataBytes_ / frameBytes(); }
    bool isOpen() const { return file_ != nullptr; }

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::uint64_t frameBytes() const { return channels_ * 2ull; }
    bool writeHeader();

    std::uint64_t maxDataBytes_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::uint32_t sampleRate_ = 0;
    std::uint16_t channels_ = 1;
    std::uint64_t dataBytes_ = 0;
    bool failed_ = false;
};

}  // namespace lumivane::client
