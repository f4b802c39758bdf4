#include "audio/pulse/PulseAudioSource.h"

#include "core/Logging.h"

#include <algorithm>
#include <cstring>

namespace lumivane::host {

std::unique_ptr<AudioSource> AudioSource::create() { return std::make_unique<PulseAudioSource>(); }

PulseAudioSource::~PulseAudioSource() { close(); }

void PulseAudioSource::close() {
    if (!mainloop_) return;
    pa_threaded_mainloop_lock(mainloop_);
    if (stream_) {
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
    mainloop_ = nullptr;
}

bool PulseAudioSource::open(bool loopback) {
    close();
    pending_.reserve(kMaxPendingBytes + 4 * kPacketBytes);
    packet_.resize(kPacketBytes);
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_ || pa_threaded_mainloop_start(mainloop_) < 0) {
        LV_ERROR("Failed to start the PulseAudio main loop");
        close();
        return false;
    }
    pa_threaded_mainloop_lock(mainloop_);
    const bool ok = connectContext() && connectStream(loopback);
    pa_threaded_mainloop_unlock(mainloop_);
    if (!ok) close();
    return ok;
}

// Main-loop lock held.
bool PulseAudioSource::connectContext() {
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Lumivane Host");
    if (!context_) {
        LV_ERROR("Failed to create PulseAudio context");
        return false;
    }
    pa_context_set_state_callback(context_, &PulseAudioSource::onContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        LV_ERROR("Failed to connect to PulseAudio: {}", pa_strerror(pa_context_errno(context_)));
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            LV_ERROR("Failed to connect to PulseAudio: {}", pa_strerror(pa_context_errno(context_)));
            return false;
        }
        pa_threaded_mainloop_wait(mainloop_);
    }
}

// Main-loop lock held.
bool PulseAudioSource::connectStream(bool loopback) {
    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, kRate, kChannels};
    stream_ = pa_stream_new(context_, "Lumivane capture", &sampleSpec, nullptr);
    if (!stream_) {
        LV_ERROR("Failed to create PulseAudio stream: {}", pa_strerror(pa_context_errno(context_)));
        return false;
    }
    pa_stream_set_state_callback(stream_, &PulseAudioSource::onStreamState, this);
    pa_stream_set_read_callback(stream_, &PulseAudioSource::onRead, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(kPacketBytes);
    const char* device = loopback ? "@DEFAULT_MONITOR@" : nullptr;
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_record(stream_, device, &attr, flags) < 0) {
        LV_ERROR("Failed to open audio endpoint: {}", pa_strerror(pa_context_errno(context_)));
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(state)) {
            LV_ERROR("Failed to open audio endpoint: {}", pa_strerror(pa_context_errno(context_)));
            return false;
        }
        pa_threaded_mainloop_wait(mainloop_);
    }
    const char* name = pa_stream_get_device_name(stream_);
    LV_INFO("Using audio device: {}", name ? name : "(unknown)");
    return true;
}

AudioFormat PulseAudioSource::mixFormat() const {
    return AudioFormat{kRate, kChannels, 32, SampleType::Float};
}

// Waits for the server to apply the change, so start reports a real failure.
bool PulseAudioSource::cork(bool paused) {
    if (!stream_) return false;
    pa_threaded_mainloop_lock(mainloop_);
    pa_operation* op = pa_stream_cork(stream_, paused ? 1 : 0, &PulseAudioSource::onSuccess, this);
    bool ok = op != nullptr;
    while (op && pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    if (op) {
        ok = pa_operation_get_state(op) == PA_OPERATION_DONE;
        pa_operation_unref(op);
    }
    pa_threaded_mainloop_unlock(mainloop_);
    if (!ok) LV_ERROR("Failed to {} the PulseAudio stream", paused ? "pause" : "resume");
    return ok;
}

bool PulseAudioSource::start() { return cork(false); }

void PulseAudioSource::stop() {
    cork(true);
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
}

bool PulseAudioSource::waitForData(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool ready = ready_.wait_for(lock, timeout, [this] {
        return woken_ || pending_.size() >= kPacketBytes;
    });
    woken_ = false;
    return ready;
}

void PulseAudioSource::wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    ready_.notify_all();
}

// PulseAudio has no silent flag on captured data: every packet is delivered as it is.
bool PulseAudioSource::nextPacket(AudioPacket& packet) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.size() < kPacketBytes) return false;
    std::memcpy(packet_.data(), pending_.data(), kPacketBytes);
    pending_.erase(pending_.begin(), pending_.begin() + kPacketBytes);
    packet = AudioPacket{packet_.data(), kPacketFrames, false};
    return true;
}

// Main-loop thread, lock held. Keeps at most a second when the reader falls behind.
void PulseAudioSource::onReadable() {
    const void* data = nullptr;
    size_t bytes = 0;
    bool appended = false;
    while (pa_stream_readable_size(stream_) > 0 && pa_stream_peek(stream_, &data, &bytes) == 0) {
        if (bytes == 0) break;
        if (data) {
            // Second lock: mutex_ after the main-loop lock.
            std::lock_guard<std::mutex> lock(mutex_);
            const auto* in = static_cast<const uint8_t*>(data);
            pending_.insert(pending_.end(), in, in + bytes);
            if (pending_.size() > kMaxPendingBytes) {
                const size_t excess = pending_.size() - kMaxPendingBytes;
                const size_t drop = (excess + kFrameBytes - 1) / kFrameBytes * kFrameBytes;
                pending_.erase(pending_.begin(), pending_.begin() + std::min(drop, pending_.size()));
            }
            appended = true;
        }
        pa_stream_drop(stream_);
    }
    if (appended) ready_.notify_all();
}

void PulseAudioSource::onContextState(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioSource*>(self)->mainloop_, 0);
}

void PulseAudioSource::onStreamState(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioSource*>(self)->mainloop_, 0);
}

void PulseAudioSource::onRead(pa_stream*, size_t, void* self) {
    static_cast<PulseAudioSource*>(self)->onReadable();
}

void PulseAudioSource::onSuccess(pa_stream*, int, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioSource*>(self)->mainloop_, 0);
}

}  // namespace lumivane::host
