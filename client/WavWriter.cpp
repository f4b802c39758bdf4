#include "WavWriter.h"

#include "core/LittleEndian.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace lumivane::client {

using host::storeLe16;
using host::storeLe32;

bool WavWriter::open(const std::string& path, std::uint32_t sampleRate, std::uint16_t channels, std::string& error) {
    close();
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    sampleRate_ = sampleRate;
    channels_ = channels == 0 ? 1 : channels;
    dataBytes_ = 0;
    failed_ = false;
    if (!writeHeader()) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        file_.reset();
        return false;
    }
    return true;
}

bool WavWriter::writeHeader() {
    std::array<std::uint8_t, 44> h{};
    std::memcpy(h.data(), "RIFF", 4);
    storeLe32(h.data() + 4, static_cast<std::uint32_t>(36 + dataBytes_));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    storeLe32(h.data() + 16, 16);
    storeLe16(h.data() + 20, 1);  // PCM
    storeLe16(h.data() + 22, channels_);
    storeLe32(h.data() + 24, sampleRate_);
    storeLe32(h.data() + 28, static_cast<std::uint32_t>(sampleRate_ * frameBytes()));
    storeLe16(h.data() + 32, static_cast<std::uint16_t>(frameBytes()));
    storeLe16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    storeLe32(h.data() + 40, static_cast<std::uint32_t>(dataBytes_));
    return std::fseek(file_.get(), 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), file_.get()) == h.size() &&
           std::fseek(file_.get(), 0, SEEK_END) == 0;
}

bool WavWriter::write(const std::int16_t* samples, std::size_t frames, std::string& error) {
    if (!file_ || failed_) return false;
    const std::uint64_t bytes = frames * frameBytes();
    if (dataBytes_ + bytes > maxDataBytes_) {
        failed_ = true;
        error = "WAV file is full (" + std::to_string(dataBytes_) + " bytes of audio); no more audio is written";
        return false;
    }
    // Samples go out little-endian whatever this machine's order.
    std::array<std::uint8_t, 4096> chunk{};
    const std::size_t count = frames * channels_;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, chunk.size() / 2);
        for (std::size_t i = 0; i < n; ++i) storeLe16(chunk.data() + 2 * i, static_cast<std::uint16_t>(samples[done + i]));
        if (std::fwrite(chunk.data(), 2, n, file_.get()) != n) {
            failed_ = true;
            error = std::string("cannot write the WAV file: ") + std::strerror(errno);
            return false;
        }
        done += n;
        dataBytes_ += 2 * n;
    }
    return true;
}

bool WavWriter::close() {
    if (!file_) return true;
    const bool ok = writeHeader() && std::fflush(file_.get()) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    return ok && closed;
}

}  // namespace lumivane::client
