#pragma once
// Captures one window continuously and hands every frame to a callback; follows resizes,
// stops itself when the window goes away, and logs diagnostics at start.

#include "capture/CaptureSource.h"
#include "capture/WindowSystem.h"
#include "gpu/GpuDevice.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace lumivane::host {

class WindowCapture {
public:
    // Runs on the source's thread; the texture is valid only during the call.
    using FrameCallback = std::function<void(const Texture& texture, std::uint32_t width, std::uint32_t height)>;
    // Runs on the source's thread when a hidden window is shown again, before its frame.
    using ResumedCallback = std::function<void()>;

    WindowCapture(std::unique_ptr<CaptureSource> source, std::unique_ptr<WindowSystem> windows);
    ~WindowCapture();
    WindowCapture(const WindowCapture&) = delete;
    WindowCapture& operator=(const WindowCapture&) = delete;

    // The platform's real source and window system.
    static std::unique_ptr<WindowCapture> create(std::uint32_t maxFps);

    // The device must outlive this object.
    bool initialize(WindowHandle window, GpuDevice* device);
    bool startCapture(FrameCallback callback, ResumedCallback onResumed = nullptr);
    void stopCapture();
    // Any thread: a frame follows within a frame interval even if the window is still.
    void requestFrame();
    bool isCapturing() const { return capturing_.load(); }
    void getSize(std::int32_t& width, std::int32_t& height) const;

private:
    bool runStart();
    bool logDiagnostics();
    void processFrame(const Texture& frame, std::uint32_t contentWidth, std::uint32_t contentHeight);
    void onWindowClosed();

    std::unique_ptr<WindowSystem> windows_;
    WindowHandle window_ = 0;
    GpuDevice* device_ = nullptr;
    FrameCallback frameCallback_;
    ResumedCallback resumedCallback_;
    std::atomic<bool> capturing_{false};
    std::atomic<std::int32_t> width_{0};
    std::atomic<std::int32_t> height_{0};
    // Written only on the source's thread once it runs.
    std::uint32_t poolWidth_ = 0;
    std::uint32_t poolHeight_ = 0;
    // Last: destroyed first, so its thread is joined before the state above goes.
    std::unique_ptr<CaptureSource> source_;
};

}  // namespace lumivane::host
