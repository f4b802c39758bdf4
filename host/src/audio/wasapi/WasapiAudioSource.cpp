#include "audio/wasapi/WasapiAudioSource.h"

#include "core/Logging.h"

#include <initguid.h>  // defines PKEY_Device_FriendlyName here
#include <functiondiscoverykeys_devpkey.h>
#include <ksmedia.h>

namespace lumivane::host {

std::unique_ptr<AudioSource> AudioSource::create() { return std::make_unique<WasapiAudioSource>(); }

namespace {

constexpr REFERENCE_TIME kBufferDuration = 200000;  // 100-ns units: 20 ms

template <typename T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

AudioFormat describe(const WAVEFORMATEX& f) {
    bool isFloat = f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    DWORD mask = 0;
    if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && f.cbSize >= 22) {
        const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(f);
        isFloat = IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
        mask = ext.dwChannelMask;
    }
    // The container's width: a 24-bit sample in 32 bits is read as 32-bit.
    return AudioFormat{f.nSamplesPerSec, f.nChannels, f.wBitsPerSample,
                       isFloat ? SampleType::Float : SampleType::Integer, static_cast<uint32_t>(mask)};
}

}  // namespace

WasapiAudioSource::WasapiAudioSource() = default;

WasapiAudioSource::~WasapiAudioSource() { close(); }

void WasapiAudioSource::close() {
    release(capture_);
    release(client_);
    release(device_);
    if (mixFormat_) CoTaskMemFree(mixFormat_);
    mixFormat_ = nullptr;
    if (event_) CloseHandle(event_);
    event_ = nullptr;
}

bool WasapiAudioSource::open(bool loopback) {
    close();
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event_) {
        LV_ERROR("Failed to create capture event");
        return false;
    }
    if (!openDevice(loopback)) {
        close();
        return false;
    }
    return true;
}

bool WasapiAudioSource::openDevice(bool loopback) {
    IMMDeviceEnumerator* enumerator = nullptr;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&enumerator));
    if (FAILED(hr)) {
        LV_ERROR("Failed to create device enumerator: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    hr = enumerator->GetDefaultAudioEndpoint(loopback ? eRender : eCapture, eConsole, &device_);
    release(enumerator);
    if (FAILED(hr)) {
        LV_ERROR("Failed to get default audio endpoint: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    logFriendlyName();
    if (FAILED(hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client_)))) {
        LV_ERROR("Failed to activate audio client: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    if (FAILED(hr = client_->GetMixFormat(&mixFormat_))) {
        LV_ERROR("Failed to get mix format: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    format_ = describe(*mixFormat_);
    const DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | (loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0);
    if (FAILED(hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mixFormat_, nullptr))) {
        LV_ERROR("Failed to initialize audio client: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    if (FAILED(hr = client_->SetEventHandle(event_))) {
        LV_ERROR("Failed to set event handle: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    if (FAILED(hr = client_->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture_)))) {
        LV_ERROR("Failed to get capture client: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

// Diagnostic only: a name that cannot be read is not logged.
void WasapiAudioSource::logFriendlyName() {
    IPropertyStore* store = nullptr;
    if (FAILED(device_->OpenPropertyStore(STGM_READ, &store))) return;
    PROPVARIANT name;
    PropVariantInit(&name);
    if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &name)) && name.vt == VT_LPWSTR) {
        char utf8[256] = {};
        if (WideCharToMultiByte(CP_UTF8, 0, name.pwszVal, -1, utf8, sizeof utf8, nullptr, nullptr) > 0)
            LV_INFO("Using audio device: {}", utf8);
    }
    PropVariantClear(&name);
    store->Release();
}

bool WasapiAudioSource::start() {
    if (!client_) return false;
    const HRESULT hr = client_->Start();
    if (FAILED(hr)) LV_ERROR("Failed to start audio client: {:#x}", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

void WasapiAudioSource::stop() {
    if (client_) client_->Stop();
}

void WasapiAudioSource::enterCaptureThread() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }

bool WasapiAudioSource::waitForData(std::chrono::milliseconds timeout) {
    return WaitForSingleObject(event_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

void WasapiAudioSource::wake() {
    if (event_) SetEvent(event_);
}

bool WasapiAudioSource::nextPacket(AudioPacket& packet) {
    UINT32 size = 0;
    if (FAILED(capture_->GetNextPacketSize(&size)) || size == 0) return false;
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    const HRESULT hr = capture_->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
    if (FAILED(hr)) {
        LV_ERROR("GetBuffer failed: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    heldFrames_ = frames;
    packet = AudioPacket{data, frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0};
    return true;
}

void WasapiAudioSource::releasePacket() {
    const HRESULT hr = capture_->ReleaseBuffer(heldFrames_);
    heldFrames_ = 0;
    if (FAILED(hr)) LV_ERROR("ReleaseBuffer failed: {:#x}", static_cast<unsigned long>(hr));
}

}  // namespace lumivane::host
