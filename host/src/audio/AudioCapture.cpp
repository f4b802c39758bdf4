#include "audio/AudioCapture.h"

#include "audio/AudioConverter.h"
#include "core/Logging.h"

#include <algorithm>

namespace lumivane::host {

AudioCapture::AudioCapture(std::unique_ptr<AudioSource> source) : source_(std::move(source)) {}

AudioCapture::~AudioCapture() { stop(); }

bool AudioCapture::initialize(const AudioCaptureConfig& config) {
    config_ = config;
    if (!source_ || !source_->open(config.loopback)) return false;
    format_ = source_->mixFormat();
    converter_ = AudioConverter::create(format_, config.sampleRate, config.channels);
    if (!converter_) return false;
    initialized_ = true;
    if (format_.sampleRate == config.sampleRate && format_.channels == config.channels) {
        LV_INFO("Audio capture initialized: {} Hz, {} channels", format_.sampleRate, format_.channels);
    } else {
        LV_INFO("Audio capture initialized: {} Hz, {} channels, converted to {} Hz, {} channels", format_.sampleRate,
                format_.channels, config.sampleRate, config.channels);
    }
    return true;
}

bool AudioCapture::start(AudioDataCallback callback) {
    if (running_) {
        LV_WARN("Audio capture already started");
        return true;
    }
    if (!initialized_) {
        LV_ERROR("Audio capture not initialized");
        return false;
    }
    callback_ = std::move(callback);
    converter_->reset();
    stopRequested_ = false;
    if (!source_->start()) {
        LV_ERROR("Failed to start audio client");
        return false;
    }
    running_ = true;
    thread_ = std::thread([this] { captureThread(); });
    LV_INFO("Audio capture started");
    return true;
}

void AudioCapture::stop() {
    if (!running_) return;
    if (std::this_thread::get_id() == thread_.get_id()) {
        LV_ERROR("Audio capture stop called from its own callback; ignored");
        return;
    }
    stopRequested_ = true;
    source_->wake();
    thread_.join();
    source_->stop();
    running_ = false;
    LV_INFO("Audio capture stopped");
}

void AudioCapture::getFormat(uint32_t& sampleRate, uint32_t& channels,
                             uint32_t& bitsPerSample) const {
    sampleRate = config_.sampleRate;
    channels = config_.channels;
    bitsPerSample = initialized_ ? 16 : config_.bitsPerSample;
}

void AudioCapture::captureThread() {
    source_->enterCaptureThread();
    while (!stopRequested_) {
        if (!source_->waitForData(std::chrono::milliseconds(100))) continue;
        if (stopRequested_) break;
        drainPackets();
    }
}

void AudioCapture::drainPackets() {
    AudioPacket packet;
    while (!stopRequested_ && source_->nextPacket(packet)) {
        if (!packet.silent && callback_) deliver(packet);
        source_->releasePacket();
    }
}

void AudioCapture::deliver(const AudioPacket& packet) {
    uint32_t frames = 0;
    const int16_t* samples = converter_->convert(packet.data, packet.frameCount, frames);
    if (frames > 0) callback_(samples, frames, config_.sampleRate, config_.channels);
}

}  // namespace lumivane::host
