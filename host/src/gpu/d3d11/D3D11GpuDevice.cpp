#include "gpu/d3d11/D3D11GpuDevice.h"

#include "core/Logging.h"
#include "core/win32/Utf8.h"
#include "gpu/d3d11/D3D11Native.h"
#include "gpu/d3d11/D3D11Texture.h"

#include <d3d11_4.h>
#include <dxgi.h>

#include <algorithm>
#include <array>

namespace lumivane::host {

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::array<D3D_FEATURE_LEVEL, 2> kFeatureLevels = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};

class D3D11TextureReader final : public TextureReader {
public:
    D3D11TextureReader(ComPtr<ID3D11DeviceContext> context, ComPtr<ID3D11Texture2D> staging, std::uint32_t width,
                       std::uint32_t height)
        : context_(std::move(context)), staging_(std::move(staging)), width_(width), height_(height) {}

    bool read(const Texture& texture, std::uint32_t width, std::uint32_t height, const Use& use) override {
        if (const std::uint8_t* pixels = texture.mappedPixels()) {
            use(pixels, texture.stride());
            return true;
        }
        ID3D11Texture2D* source = nativeTexture(texture);
        if (!source) {
            LV_ERROR("Texture {}x{} is not on this device", texture.width(), texture.height());
            return false;
        }
        const D3D11_BOX box{0, 0, 0, std::min({width, width_, texture.width()}),
                            std::min({height, height_, texture.height()}), 1};
        context_->CopySubresourceRegion(staging_.Get(), 0, 0, 0, 0, source, 0, &box);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        const HRESULT hr = context_->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &mapped);
        if (FAILED(hr)) {
            LV_ERROR("Failed to map staging texture: {:#x}", static_cast<std::uint32_t>(hr));
            return false;
        }
        use(static_cast<const std::uint8_t*>(mapped.pData), mapped.RowPitch);
        context_->Unmap(staging_.Get(), 0);
        return true;
    }

private:
    ComPtr<ID3D11DeviceContext> context_;
    ComPtr<ID3D11Texture2D> staging_;
    std::uint32_t width_;
    std::uint32_t height_;
};

D3D11_TEXTURE2D_DESC bgraDesc(std::uint32_t width, std::uint32_t height) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    return desc;
}

// Clips a region at (srcX, srcY) of src going to (dstX, dstY) of dst; false when empty.
bool clip(const Texture& dst, std::uint32_t dstX, std::uint32_t dstY, const Texture& src, std::uint32_t srcX,
          std::uint32_t srcY, std::uint32_t& width, std::uint32_t& height) {
    if (srcX >= src.width() || srcY >= src.height() || dstX >= dst.width() || dstY >= dst.height()) return false;
    width = std::min({width, src.width() - srcX, dst.width() - dstX});
    height = std::min({height, src.height() - srcY, dst.height() - dstY});
    return width > 0 && height > 0;
}

}  // namespace

std::unique_ptr<GpuDevice> GpuDevice::create() { return D3D11GpuDevice::create(); }

std::unique_ptr<D3D11GpuDevice> D3D11GpuDevice::create() {
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    D3D_FEATURE_LEVEL level{};
    const HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                         kFeatureLevels.data(), UINT(kFeatureLevels.size()), D3D11_SDK_VERSION,
                                         &device, &level, &context);
    if (FAILED(hr)) {
        LV_ERROR("Failed to create D3D11 device: {:#x}", static_cast<std::uint32_t>(hr));
        return nullptr;
    }
    LV_INFO("D3D11 device created with feature level {:#x}", static_cast<unsigned>(level));
    return std::make_unique<D3D11GpuDevice>(std::move(device), std::move(context));
}

D3D11GpuDevice::D3D11GpuDevice(ComPtr<ID3D11Device> device, ComPtr<ID3D11DeviceContext> context)
    : device_(std::move(device)), context_(std::move(context)), adapter_(readAdapterInfo(device_.Get())) {
    ComPtr<ID3D11Multithread> multithread;
    if (SUCCEEDED(context_.As(&multithread))) {
        multithread->SetMultithreadProtected(TRUE);
    } else {
        LV_WARN("Direct3D 11 context offers no multithread protection");
    }
}

std::unique_ptr<Texture> D3D11GpuDevice::createTexture(std::uint32_t width, std::uint32_t height,
                                                       TextureFormat format) {
    D3D11_TEXTURE2D_DESC desc = bgraDesc(width, height);
    desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
    ComPtr<ID3D11Texture2D> texture;
    const HRESULT hr = width == 0 || height == 0 || format != TextureFormat::BGRA8
                           ? E_INVALIDARG
                           : device_->CreateTexture2D(&desc, nullptr, &texture);
    if (FAILED(hr)) {
        LV_ERROR("Cannot create texture {}x{}: {:#x}", width, height, static_cast<std::uint32_t>(hr));
        return nullptr;
    }
    return std::make_unique<D3D11Texture>(std::move(texture));
}

void D3D11GpuDevice::copyRegion(Texture& dst, std::uint32_t dstX, std::uint32_t dstY, const Texture& src,
                                std::uint32_t srcX, std::uint32_t srcY, std::uint32_t width, std::uint32_t height) {
    ID3D11Texture2D* target = nativeTexture(dst);
    if (!target || !clip(dst, dstX, dstY, src, srcX, srcY, width, height)) return;
    if (ID3D11Texture2D* source = nativeTexture(src)) {
        const D3D11_BOX box{srcX, srcY, 0, srcX + width, srcY + height, 1};
        context_->CopySubresourceRegion(target, 0, dstX, dstY, 0, source, 0, &box);
    } else if (const std::uint8_t* pixels = src.mappedPixels()) {
        const D3D11_BOX box{dstX, dstY, 0, dstX + width, dstY + height, 1};
        context_->UpdateSubresource(target, 0, &box, pixels + std::size_t(srcY) * src.stride() + srcX * 4u,
                                    src.stride(), 0);
    }
}

void D3D11GpuDevice::clear(Texture& texture, std::uint32_t argb) {
    ID3D11Texture2D* target = nativeTexture(texture);
    ComPtr<ID3D11RenderTargetView> view;
    if (!target || FAILED(device_->CreateRenderTargetView(target, nullptr, &view))) {
        LV_ERROR("Cannot clear texture {}x{}", texture.width(), texture.height());
        return;
    }
    const float rgba[4] = {float((argb >> 16) & 0xFF) / 255.0f, float((argb >> 8) & 0xFF) / 255.0f,
                           float(argb & 0xFF) / 255.0f, float(argb >> 24) / 255.0f};
    context_->ClearRenderTargetView(view.Get(), rgba);
}

std::unique_ptr<TextureReader> D3D11GpuDevice::createReader(std::uint32_t width, std::uint32_t height) {
    D3D11_TEXTURE2D_DESC desc = bgraDesc(width, height);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ComPtr<ID3D11Texture2D> staging;
    const HRESULT hr = width == 0 || height == 0 ? E_INVALIDARG : device_->CreateTexture2D(&desc, nullptr, &staging);
    if (FAILED(hr)) {
        LV_ERROR("Cannot create staging texture {}x{}: {:#x}", width, height, static_cast<std::uint32_t>(hr));
        return nullptr;
    }
    return std::make_unique<D3D11TextureReader>(context_, std::move(staging), width, height);
}

AdapterInfo readAdapterInfo(ID3D11Device* device) {
    ComPtr<IDXGIDevice> dxgi;
    ComPtr<IDXGIAdapter> adapter;
    DXGI_ADAPTER_DESC desc{};
    if (!device || FAILED(device->QueryInterface(IID_PPV_ARGS(&dxgi))) || FAILED(dxgi->GetAdapter(&adapter)) ||
        FAILED(adapter->GetDesc(&desc)))
        return {};
    desc.Description[std::size(desc.Description) - 1] = L'\0';
    return AdapterInfo{toUtf8(desc.Description), desc.VendorId, desc.DedicatedVideoMemory};
}

ID3D11Device* nativeDevice(GpuDevice* device) {
    auto* d3d = dynamic_cast<D3D11GpuDevice*>(device);
    return d3d ? d3d->device() : nullptr;
}

ID3D11Texture2D* nativeTexture(const Texture& texture) {
    auto* d3d = dynamic_cast<const D3D11Texture*>(&texture);
    return d3d ? d3d->native() : nullptr;
}

}  // namespace lumivane::host
