#pragma once
// AudioSource over WASAPI in shared mode: the default render endpoint in loopback, or the
// default capture endpoint, in its own mix format, event-driven with a 20 ms buffer.
// open/start/stop on a thread with COM initialised (the owner's); the packet calls on the
// capture thread; wake from any thread.

#include "audio/AudioSource.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <windows.h>

namespace lumivane::host {

class WasapiAudioSource final : public AudioSource {
public:
    WasapiAudioSource();
    ~WasapiAudioSource() override;
    WasapiAudioSource(const WasapiAudioSource&) = delete;
    WasapiAudioSource& operator=(const WasapiAudioSource&) = delete;

    bool open(bool loopback) override;
    AudioFormat mixFormat() const override { return format_; }
    bool start() override;
    void stop() override;
    void enterCaptureThread() override;
    bool waitForData(std::chrono::milliseconds timeout) override;
    void wake() override;
    bool nextPacket(AudioPacket& packet) override;
    void releasePacket() override;

private:
    void close();
    bool openDevice(bool loopback);
    void logFriendlyName();

    HANDLE event_ = nullptr;
    IMMDevice* device_ = nullptr;
    IAudioClient* client_ = nullptr;
    IAudioCaptureClient* capture_ = nullptr;
    WAVEFORMATEX* mixFormat_ = nullptr;
    AudioFormat format_;
    UINT32 heldFrames_ = 0;  // frames of the packet handed out and not yet released
};

}  // namespace lumivane::host
