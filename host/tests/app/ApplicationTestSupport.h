#pragma once
// Collaborators for Application tests: the orchestrator over fake capture sources and
// encoders whose bitrate changes can be awaited, a fake audio source, an input sink that
// is safe to read while the input threads write, and loopback helpers for the video wire.

#include "app/Application.h"
#include "capture/CaptureOrchestrator.h"
#include "fakes/FakeAudioSource.h"
#include "fakes/FakeCaptureSource.h"
#include "fakes/FakeEncoder.h"
#include "fakes/FakeInputSink.h"
#include "fakes/FakeWindowSystem.h"
#include "gpu/memory/MemoryGpuDevice.h"
#include "core/LittleEndian.h"
#include "network/NetworkTestSupport.h"

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace lumivane::host::apptest {

using test::kDeadline;

// The one window the fake window system shows.
constexpr WindowHandle kWindow = 0x4200001;
inline std::unique_ptr<FakeWindowSystem> oneWindow() {
    auto windows = std::make_unique<FakeWindowSystem>();
    FakeWindow facts;
    facts.title = "Test Editor";
    facts.rect = WindowRect{0, 0, 640, 480};
    windows->add(kWindow, facts);
    return windows;
}

// Encoders that forward to FakeEncoder and record every bitrate change for the test.
class BitrateLog {
public:
    void add(std::uint32_t bitrate, std::uint32_t maxBitrate) {
        std::lock_guard lock(mutex_);
        changes_.emplace_back(bitrate, maxBitrate);
        changed_.notify_all();
    }
    bool waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] { return changes_.size() >= count; });
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> changes() const {
        std::lock_guard lock(mutex_);
        return changes_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> changes_;
};

class SpyEncoder final : public EncoderBase {
public:
    explicit SpyEncoder(BitrateLog& log) : log_(log) {}
    const char* getName() const override { return inner_.getName(); }
    bool initialize(GpuDevice* device, const EncoderConfig& config) override { return inner_.initialize(device, config); }
    void shutdown() override { inner_.shutdown(); }
    bool encodeFrame(Texture* texture) override { return inner_.encodeFrame(texture); }
    void requestKeyframe() override { inner_.requestKeyframe(); }
    void setBitrate(std::uint32_t bitrate, std::uint32_t maxBitrate) override {
        inner_.setBitrate(bitrate, maxBitrate);
        log_.add(bitrate, maxBitrate);
    }
    void setFrameCallback(FrameCallback callback) override { inner_.setFrameCallback(std::move(callback)); }
    EncoderStats getStats() const override { return inner_.getStats(); }
    bool isInitialized() const override { return inner_.isInitialized(); }
    bool reconfigure(const EncoderConfig& config) override { return inner_.reconfigure(config); }
    CodecConfig getCodecConfig() const override { return inner_.getCodecConfig(); }

private:
    FakeEncoder inner_;
    BitrateLog& log_;
};

class SpyEncoderPlatform final : public EncoderPlatform {
public:
    std::vector<EncoderType> probe(GpuDevice*) const override { return {EncoderType::Software}; }
    std::unique_ptr<EncoderBase> construct(EncoderType) const override { return std::make_unique<SpyEncoder>(bitrates); }
    mutable BitrateLog bitrates;
};

// Input sink whose observations may be read while the input threads inject.
class LockedInputSink final : public FakeInputSink {
public:
    uint32_t sendInputs(const InputRecord* in, uint32_t count) override {
        std::lock_guard lock(mutex_);
        const uint32_t sent = FakeInputSink::sendInputs(in, count);
        changed_.notify_all();
        return sent;
    }
    bool windowRect(WindowHandle window, ScreenRect& out) override {
        std::lock_guard lock(mutex_);
        aimedAt.push_back(window);
        return FakeInputSink::windowRect(window, out);
    }
    bool isWindow(WindowHandle window) override {
        std::lock_guard lock(mutex_);
        return FakeInputSink::isWindow(window);
    }
    bool setPosition(WindowHandle window, int32_t left, int32_t top, int32_t width, int32_t height,
                     bool keepPosition) override {
        std::lock_guard lock(mutex_);
        return FakeInputSink::setPosition(window, left, top, width, height, keepPosition);
    }
    bool waitForRecords(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] { return records.size() >= count; });
    }
    template <typename Read>
    auto read(Read reader) {
        std::lock_guard lock(mutex_);
        return reader(*this);
    }

    std::vector<WindowHandle> aimedAt;  // the target of every pointer position computed

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

struct VideoPacket {
    std::uint8_t streamId = 0;
    bool keyframe = false;
    std::size_t payloadSize = 0;
};

// One length-prefixed video packet: media header, frame header, access unit.
inline std::optional<VideoPacket> readVideoPacket(test::TestClient& client) {
    const auto length = client.read(4);
    if (length.size() != 4) return std::nullopt;
    const std::uint32_t size = loadLe32(length.data());
    const auto body = client.read(size);
    if (body.size() != size || size < 16) return std::nullopt;
    return VideoPacket{body[2], body[8 + 4] == 1, size - 16};
}

inline std::vector<std::uint8_t> feedbackMessage(std::uint16_t decodeMs, std::uint16_t rttMs) {
    std::vector<std::uint8_t> body(13, 0);
    body[0] = 4;
    storeLe16(body.data() + 9, decodeMs);
    storeLe16(body.data() + 11, rttMs);
    return test::TestClient::framed(body);
}

inline std::vector<std::uint8_t> mouseMoveOnVideo(std::uint8_t streamId, std::uint16_t x, std::uint16_t y) {
    std::vector<std::uint8_t> body{3, streamId, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    storeLe16(body.data() + 5, x);
    storeLe16(body.data() + 7, y);
    return test::TestClient::framed(body);
}

// Left-button press at (x, y) on the input connection.
inline std::vector<std::uint8_t> mousePressOnInput(std::uint8_t streamId, std::uint16_t x, std::uint16_t y) {
    std::vector<std::uint8_t> body(InputEvent::kWireSize, 0);
    body[0] = streamId;
    body[1] = 1;
    body[2] = 2;
    storeLe16(body.data() + InputEvent::kXOffset, x);
    storeLe16(body.data() + InputEvent::kYOffset, y);
    body[InputEvent::kCodeOffset] = 1;
    return test::TestClient::framed(body);
}

}  // namespace lumivane::host::apptest
