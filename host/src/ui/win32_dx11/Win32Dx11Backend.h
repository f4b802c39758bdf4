#pragma once
// The dashboard in a Win32 window drawn with Direct3D 11: input through ImGui's Win32 back
// end (which also serves the clipboard), drawing through its DirectX 11 renderer. Main
// thread only; the device and context stay the entry's, referenced here for our lifetime.

#include "ui/UIBackend.h"

#include <d3d11.h>
#include <windows.h>

#include <memory>

namespace lumivane::host {

class Win32Dx11Backend final : public UIBackend {
public:
    Win32Dx11Backend(HWND window, ID3D11Device* device, ID3D11DeviceContext* context);
    ~Win32Dx11Backend() override;
    Win32Dx11Backend(const Win32Dx11Backend&) = delete;
    Win32Dx11Backend& operator=(const Win32Dx11Backend&) = delete;

    bool init() override;
    void shutdown() override;
    void newFrame() override;
    void renderDrawData(ImDrawData* drawData) override;
    ImTextureID createTexture(const std::uint8_t* rgba, int width, int height) override;
    void destroyTexture(ImTextureID texture) override;
    std::vector<std::string> fontCandidates() const override;
    std::string logoFallbackPath() const override;

    // The window procedure's first step: true when ImGui consumed the message.
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    HWND window_;
    ID3D11Device* device_;
    ID3D11DeviceContext* context_;
    bool platformStarted_ = false;
    bool rendererStarted_ = false;
};

}  // namespace lumivane::host
