#include "FakeHost.h"

#include "core/Base64.h"
#include "audio/OpusEncoder.h"
#include "core/PngEncoder.h"
#include "encode/software/SoftwareEncoder.h"
#include "gpu/memory/MemoryGpuDevice.h"
#include "core/Logging.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <numbers>

namespace lumivane::client::test {

namespace {

constexpr auto kFramePeriod = std::chrono::milliseconds(4);
constexpr int kMaxFrames = 3000;  // a bound, should a client never stop

std::string iconBase64() {
    std::vector<std::uint8_t> bgra(16 * 16 * 4, 0xFF);
    return host::base64Encode(host::encodePng(16, 16, bgra));
}

// Recognisable after encoding: the editor red on the left half and blue on the right,
// the terminal green.
void paint(host::Texture& texture, std::uint32_t windowId) {
    std::uint8_t* p = texture.mappedPixels();
    for (std::uint32_t y = 0; y < texture.height(); ++y) {
        for (std::uint32_t x = 0; x < texture.width(); ++x) {
            std::uint8_t* px = p + y * texture.stride() + x * 4;
            const bool left = x < texture.width() / 2;
            const bool green = windowId == kTerminalId;
            px[0] = !green && !left ? 200 : 40;  // B
            px[1] = green ? 200 : 40;
            px[2] = !green && left ? 200 : 40;  // R
            px[3] = 255;
        }
    }
}

std::vector<std::int16_t> tone(std::uint64_t& phase) {
    std::vector<std::int16_t> pcm(960);
    for (std::size_t i = 0; i < 480; ++i, ++phase) {
        const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * kToneHz * phase / 48000.0));
        pcm[2 * i] = pcm[2 * i + 1] = v;
    }
    return pcm;
}

}  // namespace

FakeHost::FakeHost(HostBehaviour behaviour) : behaviour_(behaviour) {
    spdlog::set_level(spdlog::level::warn);  // the servers' info lines would drown the test output
    installCallbacks();
    signalling_.start();
    video_.start();
    audio_.start();
    input_.start();
    signalling_.setTransportPorts({video_.port(), audio_.port(), input_.port()});
}

FakeHost::~FakeHost() {
    stopFeeders();
    input_.stop();
    audio_.stop();
    video_.stop();
    signalling_.stop();
}

ClientOptions FakeHost::clientOptions(Command command) const {
    ClientOptions o;
    o.command = command;
    o.port = signalling_.port();
    o.timeoutMs = 10000;
    o.statsIntervalMs = 100;
    o.feedbackIntervalMs = 100;
    return o;
}

void FakeHost::installCallbacks() {
    signalling_.setWindowListCallback([] {
        protocol::WindowInfo editor{kEditorId, "Editor - notes.txt", "editor", "Editor", 0, 0, 640, 480,
                                    false, false, true, iconBase64()};
        protocol::WindowInfo terminal{kTerminalId, "Terminal", "xterm", "XTerm", 10, 10, 800, 600,
                                      false, false, true, ""};
        return std::vector<protocol::WindowInfo>{editor, terminal};
    });
    signalling_.setStreamStartCallback([this](std::uint32_t windowId, std::uint8_t streamId) {
        ++streamStarts_;
        if (behaviour_.refuseStreams) return false;
        startFeeder(windowId, streamId);
        return true;
    });
    signalling_.setStreamStopCallback([this](std::uint8_t streamId) {
        {
            std::lock_guard lock(mutex_);
            stopped_.push_back(streamId);
            if (auto it = feeders_.find(streamId); it != feeders_.end()) it->second->stop = true;
        }
        // Not joined here: the feeder may be waiting for this very thread to send a config.
        wake_.notify_all();
    });
    signalling_.setWindowResizeCallback([this](std::uint32_t windowId, std::uint32_t w, std::uint32_t h) {
        std::lock_guard lock(mutex_);
        resizes_.push_back({windowId, w, h});
        if (behaviour_.acceptResize) pendingSizes_[windowId] = {w, h};
        return behaviour_.acceptResize;
    });
    signalling_.setKeyframeRequestCallback([this](std::uint8_t) { keyframeWanted_ = true; });
    video_.setKeyframeRequestCallback([this](std::uint8_t) { keyframeWanted_ = true; });
    video_.setFeedbackCallback([this](const host::ClientFeedback& f) {
        std::lock_guard lock(mutex_);
        feedback_.push_back(f);
    });
    video_.setInputCallback([this](const host::ClientInput& i) {
        std::lock_guard lock(mutex_);
        videoInputs_.push_back(i);
    });
    input_.setInputCallback([this](const host::InputEvent& e) {
        std::lock_guard lock(mutex_);
        inputEvents_.push_back(e);
    });
}

// Runs on the signalling thread, as do the stop callbacks: feeders_ changes only there and
// in the destructor.
void FakeHost::startFeeder(std::uint32_t windowId, std::uint8_t streamId) {
    std::unique_ptr<Feeder> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(feeders_[streamId]);
        if (old) old->stop = true;
    }
    wake_.notify_all();
    if (old && old->thread.joinable()) old->thread.join();
    auto feeder = std::make_unique<Feeder>();
    feeder->windowId = windowId;
    std::lock_guard lock(mutex_);
    feeder->audio = std::none_of(feeders_.begin(), feeders_.end(), [](const auto& f) { return f.second && !f.second->stop; });
    auto* f = feeder.get();
    feeders_[streamId] = std::move(feeder);
    f->thread = std::thread([this, streamId, f] { feed(streamId, *f); });
}

void FakeHost::stopFeeders() {
    std::map<std::uint8_t, std::unique_ptr<Feeder>> feeders;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, f] : feeders_) {
            if (f) f->stop = true;
        }
        feeders.swap(feeders_);
    }
    wake_.notify_all();
    for (auto& [id, f] : feeders) {
        if (f && f->thread.joinable()) f->thread.join();
    }
}

void FakeHost::feed(std::uint8_t streamId, Feeder& feeder) {
    host::MemoryGpuDevice device;
    host::SoftwareEncoder encoder;
    host::OpusAudioEncoder opus;
    opus.initialize({});
    std::uint32_t width = kWidth, height = kHeight;
    bool configDue = behaviour_.sendConfig;
    encoder.setFrameCallback([&](const host::EncodedFrame& f) {
        std::shared_ptr<host::DeliveryGate> configWritten;
        if (f.isKeyframe && configDue) {
            const auto codec = encoder.getCodecConfig();
            protocol::StreamConfigMessage config{"stream_config", feeder.windowId, streamId, width, height, "video/avc",
                                                 host::base64Encode(codec.sps), host::base64Encode(codec.pps), 2000, 60};
            // As the application does: the video queue holds the keyframe until the config is written.
            configWritten = signalling_.sendStreamConfig(config);
            configDue = false;
        }
        video_.sendVideoFrame(streamId, f.data, f.size, f.isKeyframe, std::chrono::steady_clock::now(), configWritten);
    });
    auto texture = device.createTexture(width, height, host::TextureFormat::BGRA8);
    encoder.initialize(&device, {width, height, 2000, 3000, 60, "h264", "main", 30, false, 1});
    std::uint64_t phase = 0;
    for (int n = 0; n < kMaxFrames; ++n) {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, kFramePeriod, [&feeder] { return feeder.stop; })) return;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> resize;
        if (auto it = pendingSizes_.find(feeder.windowId); it != pendingSizes_.end()) {
            resize = it->second;
            pendingSizes_.erase(it);
        }
        lock.unlock();
        if (resize) {
            std::tie(width, height) = *resize;
            encoder.shutdown();
            encoder.initialize(&device, {width, height, 2000, 3000, 60, "h264", "main", 30, false, 1});
            texture = device.createTexture(width, height, host::TextureFormat::BGRA8);
            configDue = behaviour_.sendConfigOnResize;
        }
        if (keyframeWanted_.exchange(false)) encoder.requestKeyframe();
        paint(*texture, feeder.windowId);
        encoder.encodeFrame(texture.get());
        if (!feeder.audio) continue;
        const auto pcm = tone(phase);
        const auto packet = opus.encode(pcm.data(), 480);
        audio_.sendAudioData(0, packet.data(), packet.size());
    }
}

std::vector<host::ClientFeedback> FakeHost::feedback() const {
    std::lock_guard lock(mutex_);
    return feedback_;
}
std::vector<host::InputEvent> FakeHost::inputEvents() const {
    std::lock_guard lock(mutex_);
    return inputEvents_;
}
std::vector<host::ClientInput> FakeHost::videoInputs() const {
    std::lock_guard lock(mutex_);
    return videoInputs_;
}
std::vector<ResizeRequest> FakeHost::resizes() const {
    std::lock_guard lock(mutex_);
    return resizes_;
}
std::vector<std::uint8_t> FakeHost::stoppedStreams() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

}  // namespace lumivane::client::test
