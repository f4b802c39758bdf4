#include "capture/CaptureOrchestrator.h"

namespace lumivane::host {

CaptureOrchestrator::CaptureOrchestrator(DeviceFactory createDevice, CaptureFactory createCapture,
                                         std::unique_ptr<WindowSystem> windows,
                                         std::unique_ptr<WindowEnumerator> enumerator,
                                         const EncoderPlatform& encoders)
    : createDevice_(std::move(createDevice)), createCapture_(std::move(createCapture)),
      windows_(std::move(windows)), enumerator_(std::move(enumerator)), encoders_(encoders) {}

CaptureOrchestrator::~CaptureOrchestrator() { shutdown(); }

std::unique_ptr<CaptureOrchestrator> CaptureOrchestrator::create() {
    auto listing = WindowSystem::create();
    return std::make_unique<CaptureOrchestrator>(
        [] { return GpuDevice::create(); }, [](std::uint32_t fps) { return WindowCapture::create(fps); },
        WindowSystem::create(), listing ? std::make_unique<WindowEnumerator>(std::move(listing)) : nullptr,
        EncoderPlatform::native());
}

bool CaptureOrchestrator::initialize() { return false; }
void CaptureOrchestrator::shutdown() {}
void CaptureOrchestrator::stopAllCaptures() {}
bool CaptureOrchestrator::startCapture(std::uint32_t, std::uint8_t) { return false; }
void CaptureOrchestrator::stopCapture(std::uint8_t) {}
void CaptureOrchestrator::update() {}
void CaptureOrchestrator::requestKeyframe(std::uint8_t) {}
void CaptureOrchestrator::setStreamBitrate(std::uint8_t, std::uint32_t, std::uint32_t) {}
CodecConfig CaptureOrchestrator::getCodecConfig(std::uint8_t) { return {}; }
bool CaptureOrchestrator::getStreamResolution(std::uint8_t, std::uint32_t&, std::uint32_t&) { return false; }
void CaptureOrchestrator::setDefaultBitrate(std::uint32_t, std::uint32_t) {}
void CaptureOrchestrator::setDefaultFps(std::uint32_t) {}
void CaptureOrchestrator::setEncodedFrameCallback(EncodedFrameCallback) {}
void CaptureOrchestrator::setResolutionChangeCallback(ResolutionChangeCallback) {}
std::vector<protocol::WindowInfo> CaptureOrchestrator::getWindowList() { return {}; }

}  // namespace lumivane::host
