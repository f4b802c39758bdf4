#include "audio/AudioCapture.h"

#include "core/Logging.h"

#include <algorithm>

namespace lumivane::host {

AudioCapture::AudioCapture(std::unique_ptr<AudioSource> source) : source_(std::move(source)) {}

AudioCapture::~AudioCapture() { stop(); }

bool AudioCapture::initialize(const AudioCaptureConfig& config) {
    config_ = config;
    if (!source_ || !source_->open(config.loopback)) return false;
    format_ = source_->mixFormat();
    initialized_ = true;
    LV_INFO("Audio capture initialized: {} Hz, {} channels", format_.sampleRate, format_.channels);
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
    if (initialized_) {
        sampleRate = format_.sampleRate;
        channels = format_.channels;
        bitsPerSample = 16;
        return;
    }
    sampleRate = config_.sampleRate;
    channels = config_.channels;
    bitsPerSample = config_.bitsPerSample;
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
    const uint32_t channels = format_.channels;
    const size_t count = static_cast<size_t>(packet.frameCount) * channels;
    if (format_.sampleType == SampleType::Float && format_.bitsPerSample == 32) {
        conversion_.resize(count);
        const float* in = reinterpret_cast<const float*>(packet.data);
        for (size_t i = 0; i < count; ++i) {
            conversion_[i] = static_cast<int16_t>(std::clamp(in[i], -1.0f, 1.0f) * 32767.0f);
        }
        callback_(conversion_.data(), packet.frameCount, format_.sampleRate, channels);
    } else if (format_.sampleType == SampleType::Integer && format_.bitsPerSample == 16) {
        callback_(reinterpret_cast<const int16_t*>(packet.data), packet.frameCount,
                  format_.sampleRate, channels);
    }
}

}  // namespace lumivane::host
