#pragma once
// Frames on a Direct3D 11 device: the one the orchestrator creates at start-up, shared by
// every capture and encoder. Its immediate context is multithread-protected, since capture
// threads, encode threads and the vendors' runtimes all use it.

#include "gpu/GpuDevice.h"

#include <d3d11.h>
#include <wrl/client.h>

namespace lumivane::host {

class D3D11GpuDevice final : public GpuDevice {
public:
    // On the default adapter with the hardware driver, BGRA support, feature level 11_1
    // else 11_0. Null after one log line when the device cannot be created.
    static std::unique_ptr<D3D11GpuDevice> create();

    D3D11GpuDevice(Microsoft::WRL::ComPtr<ID3D11Device> device, Microsoft::WRL::ComPtr<ID3D11DeviceContext> context);

    // Usage default, bindable as render target and shader resource.
    std::unique_ptr<Texture> createTexture(std::uint32_t width, std::uint32_t height,
                                           TextureFormat format = TextureFormat::BGRA8) override;
    // The source may also be a texture in system memory: its region is uploaded.
    void copyRegion(Texture& dst, std::uint32_t dstX, std::uint32_t dstY, const Texture& src, std::uint32_t srcX,
                    std::uint32_t srcY, std::uint32_t width, std::uint32_t height) override;
    void clear(Texture& texture, std::uint32_t argb) override;
    AdapterInfo adapterInfo() const override { return adapter_; }
    // Copies through a staging texture of that size.
    std::unique_ptr<TextureReader> createReader(std::uint32_t width, std::uint32_t height) override;

    ID3D11Device* device() const { return device_.Get(); }
    ID3D11DeviceContext* context() const { return context_.Get(); }

private:
    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
    AdapterInfo adapter_;
};

// The device's adapter: name, PCI vendor id and dedicated memory; empty when unreadable.
AdapterInfo readAdapterInfo(ID3D11Device* device);

}  // namespace lumivane::host
