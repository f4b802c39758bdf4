#include "ui/win32_dx11/Win32Dx11Backend.h"

#include "core/Logging.h"

#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND, UINT, WPARAM, LPARAM);

namespace lumivane::host {
namespace {

// Directory of the running executable, without a trailing separator; empty if unknown.
std::string executableDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::string exe(path, length);
    const std::size_t slash = exe.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

}  // namespace

Win32Dx11Backend::Win32Dx11Backend(HWND window, ID3D11Device* device, ID3D11DeviceContext* context)
    : window_(window), device_(device), context_(context) {
    device_->AddRef();
    context_->AddRef();
}

Win32Dx11Backend::~Win32Dx11Backend() {
    shutdown();
    context_->Release();
    device_->Release();
}

bool Win32Dx11Backend::init() {
    platformStarted_ = ImGui_ImplWin32_Init(window_);
    if (!platformStarted_) {
        LV_ERROR("Dashboard: Win32 back end failed to start");
        return false;
    }
    rendererStarted_ = ImGui_ImplDX11_Init(device_, context_);
    if (!rendererStarted_) {
        LV_ERROR("Dashboard: DirectX 11 back end failed to start");
        shutdown();
        return false;
    }
    return true;
}

void Win32Dx11Backend::shutdown() {
    if (rendererStarted_) ImGui_ImplDX11_Shutdown();
    if (platformStarted_) ImGui_ImplWin32_Shutdown();
    rendererStarted_ = platformStarted_ = false;
}

void Win32Dx11Backend::newFrame() {
    ImGui_ImplDX11_NewFrame();
    ImGui_ImplWin32_NewFrame();
}

void Win32Dx11Backend::renderDrawData(ImDrawData* drawData) { ImGui_ImplDX11_RenderDrawData(drawData); }

bool Win32Dx11Backend::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return platformStarted_ && ImGui_ImplWin32_WndProcHandler(window, message, wParam, lParam) != 0;
}

ImTextureID Win32Dx11Backend::createTexture(const std::uint8_t* rgba, int width, int height) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = UINT(width);
    desc.Height = UINT(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA data{rgba, UINT(width) * 4, 0};
    ID3D11Texture2D* texture = nullptr;
    if (FAILED(device_->CreateTexture2D(&desc, &data, &texture))) {
        LV_ERROR("Failed to create logo texture");
        return nullptr;
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC view{};
    view.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    view.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    view.Texture2D.MipLevels = 1;
    ID3D11ShaderResourceView* srv = nullptr;
    const HRESULT hr = device_->CreateShaderResourceView(texture, &view, &srv);
    texture->Release();  // the view keeps it alive
    if (FAILED(hr)) {
        LV_ERROR("Failed to create logo SRV");
        return nullptr;
    }
    return reinterpret_cast<ImTextureID>(srv);
}

void Win32Dx11Backend::destroyTexture(ImTextureID texture) {
    if (texture) reinterpret_cast<ID3D11ShaderResourceView*>(texture)->Release();
}

std::vector<std::string> Win32Dx11Backend::fontCandidates() const {
    return {"C:\\Windows\\Fonts\\SegoeUI.ttf", "C:\\Windows\\Fonts\\segoeui.ttf"};
}

// Executables sit four folders below the source tree's root (build-windows\host\src\main).
std::string Win32Dx11Backend::logoFallbackPath() const {
    return executableDirectory() + "\\..\\..\\..\\..\\host\\assets\\logo.png";
}

}  // namespace lumivane::host
