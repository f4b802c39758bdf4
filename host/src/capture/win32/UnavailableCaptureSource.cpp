#include "capture/win32/UnavailableCaptureSource.h"

#include <fmt/format.h>
#include <windows.h>

namespace lumivane::host {

namespace {
constexpr const char* kNotBuilt = "window capture is not built into this Windows host yet";
}

std::unique_ptr<CaptureSource> CaptureSource::create(std::uint32_t) {
    return std::make_unique<UnavailableCaptureSource>();
}

CaptureSystemInfo UnavailableCaptureSource::systemInfo() {
    CaptureSystemInfo info;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
    info.systemLine = fmt::format("  Windows Build: {}", version.dwBuildNumber);
    info.supportCheck = "Windows Graphics Capture";
    info.supported = true;
    return info;
}

bool UnavailableCaptureSource::open(WindowHandle, std::uint32_t&, std::uint32_t&, std::string& error) {
    error = kNotBuilt;
    return false;
}

bool UnavailableCaptureSource::start(std::uint32_t, std::uint32_t, FrameArrived, Closed, std::string& error) {
    error = kNotBuilt;
    return false;
}

}  // namespace lumivane::host
