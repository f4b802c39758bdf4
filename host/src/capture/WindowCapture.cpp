#include "capture/WindowCapture.h"

#include "core/Logging.h"

#include <exception>

namespace lumivane::host {

namespace {

// Process-wide, never reset: only the very first frame is logged.
std::atomic<std::uint64_t> capturedFrameCount{0};

// The numeric DXGI format of a BGRA frame, so logs read the same on every platform.
constexpr int kBgraFormatCode = 87;

const char* yesNo(bool value) { return value ? "YES" : "NO"; }

}  // namespace

WindowCapture::WindowCapture(std::unique_ptr<CaptureSource> source, std::unique_ptr<WindowSystem> windows)
    : windows_(std::move(windows)), source_(std::move(source)) {}

WindowCapture::~WindowCapture() {
    stopCapture();
    // Joins the source's thread here, while every member it may touch is still alive.
    source_->close();
}

std::unique_ptr<WindowCapture> WindowCapture::create(std::uint32_t maxFps) {
    auto windows = WindowSystem::create();
    auto source = CaptureSource::create(maxFps);
    if (!windows || !source) return nullptr;
    return std::make_unique<WindowCapture>(std::move(source), std::move(windows));
}

bool WindowCapture::initialize(WindowHandle window, GpuDevice* device) {
    CaptureSystemInfo info = source_->systemInfo();
    if (!info.supported) {
        LV_ERROR("Window capture ({}) is not supported on this system.{}", info.supportCheck, info.systemLine);
        return false;
    }
    if (window == 0 || !windows_->isWindow(window)) {
        LV_ERROR("Invalid window handle");
        return false;
    }
    window_ = window;
    device_ = device;
    auto rect = windows_->clientRect(window);
    if (!rect) {
        LV_ERROR("Failed to get window rect");
        return false;
    }
    width_ = rect->right - rect->left;
    height_ = rect->bottom - rect->top;
    if (width_ <= 0 || height_ <= 0) {
        LV_ERROR("Window has zero size");
        return false;
    }
    LV_INFO("WindowCapture initialized for HWND {:x}, size {}x{}", window, width_.load(), height_.load());
    return true;
}

bool WindowCapture::startCapture(FrameCallback callback, ResumedCallback onResumed) {
    if (capturing_) {
        LV_WARN("Capture already started");
        return true;
    }
    if (window_ == 0 || !device_) {
        LV_ERROR("WindowCapture not initialized");
        return false;
    }
    if (!logDiagnostics()) return false;
    frameCallback_ = std::move(callback);
    resumedCallback_ = std::move(onResumed);
    try {
        return runStart();
    } catch (const std::exception& e) {
        capturing_ = false;
        LV_ERROR("Failed to start capture: {}", e.what());
        return false;
    }
}

bool WindowCapture::runStart() {
    LV_INFO("Creating capture item for window {:x}...", window_);
    std::uint32_t width = 0, height = 0;
    std::string error;
    if (!source_->open(window_, width, height, error)) {
        LV_ERROR("Failed to start capture: {}", error);
        return false;
    }
    width_ = std::int32_t(width);
    height_ = std::int32_t(height);
    poolWidth_ = width;
    poolHeight_ = height;
    // Set before the source runs: its first frame may arrive before start() returns.
    capturing_ = true;
    auto onFrame = [this](const Texture& frame, std::uint32_t w, std::uint32_t h) { processFrame(frame, w, h); };
    source_->setResumedHandler([this] {
        if (!capturing_) return;
        LV_INFO("Captured window {:x} is shown again", window_);
        if (resumedCallback_) resumedCallback_();
    });
    if (!source_->start(width, height, onFrame, [this] { onWindowClosed(); }, error)) {
        capturing_ = false;
        LV_ERROR("Failed to start capture: {}", error);
        return false;
    }
    LV_INFO("Capture started for window {:x}", window_);
    return true;
}

bool WindowCapture::logDiagnostics() {
    CaptureSystemInfo info = source_->systemInfo();
    LV_INFO("=== CAPTURE DIAGNOSTICS for window {:x} ===", window_);
    LV_INFO("{}", info.systemLine);
    LV_INFO("  {}: {}", info.supportCheck, yesNo(info.supported));
    if (!info.supported) {
        LV_ERROR("CAPTURE ERROR: {} is NOT supported on this system!", info.supportCheck);
        return false;
    }
    if (!windows_->isWindow(window_)) {
        LV_ERROR("  Window handle {:x} is INVALID!", window_);
        return false;
    }
    LV_INFO("  Window Title: {}", windows_->title(window_));
    LV_INFO("  Window Class: {}", windows_->className(window_));
    if (auto style = windows_->style(window_)) LV_INFO("  Window Style: 0x{:08x}", *style);
    if (auto exStyle = windows_->exStyle(window_)) LV_INFO("  Window ExStyle: 0x{:08x}", *exStyle);
    bool minimized = windows_->isMinimized(window_);
    LV_INFO("  IsWindowVisible: {}", yesNo(windows_->isVisible(window_)));
    LV_INFO("  IsIconic (minimized): {}", yesNo(minimized));
    if (minimized) LV_WARN("  Window is MINIMIZED - capture may fail or return black frames");
    AdapterInfo adapter = device_->adapterInfo();
    if (!adapter.name.empty()) {
        LV_INFO("  GPU: {}", adapter.name);
        LV_INFO("  GPU Vendor ID: 0x{:04x}", adapter.vendorId);
    }
    LV_INFO("=== END DIAGNOSTICS ===");
    return true;
}

void WindowCapture::processFrame(const Texture& frame, std::uint32_t contentWidth, std::uint32_t contentHeight) {
    if (!capturing_) return;
    try {
        if (contentWidth != poolWidth_ || contentHeight != poolHeight_) {
            LV_INFO("Recreating frame pool: {}x{} -> {}x{}", poolWidth_, poolHeight_, contentWidth, contentHeight);
            poolWidth_ = contentWidth;
            poolHeight_ = contentHeight;
            source_->recreate(contentWidth, contentHeight);
            return;
        }
        width_ = std::int32_t(contentWidth);
        height_ = std::int32_t(contentHeight);
        if (capturedFrameCount.fetch_add(1) == 0) {
            LV_INFO("First capture frame: {}x{}, format={}", frame.width(), frame.height(), kBgraFormatCode);
        }
        if (frameCallback_) frameCallback_(frame, contentWidth, contentHeight);
    } catch (const std::exception& e) {
        LV_ERROR("Error processing frame: {}", e.what());
    }
}

void WindowCapture::onWindowClosed() {
    LV_INFO("Captured window was closed");
    stopCapture();
}

void WindowCapture::stopCapture() {
    if (!capturing_.exchange(false)) return;
    // Joins the source's thread unless we are on it, so no frame handler runs past here.
    source_->close();
    frameCallback_ = nullptr;
    resumedCallback_ = nullptr;
    LV_INFO("Capture stopped");
}

void WindowCapture::requestFrame() {
    if (capturing_) source_->requestFrame();
}

void WindowCapture::getSize(std::int32_t& width, std::int32_t& height) const {
    width = width_;
    height = height_;
}

}  // namespace lumivane::host
