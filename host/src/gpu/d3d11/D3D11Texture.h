#pragma once
// A BGRA texture of a Direct3D 11 device. Holds a reference to the native texture; a
// view made without one can be pointed at a texture per frame without allocating.

#include "gpu/Texture.h"

#include <d3d11.h>
#include <wrl/client.h>

#include <utility>

namespace lumivane::host {

class D3D11Texture final : public Texture {
public:
    D3D11Texture() = default;
    explicit D3D11Texture(Microsoft::WRL::ComPtr<ID3D11Texture2D> texture) { reset(std::move(texture)); }

    // Takes a reference to texture (or drops the held one for null) and reads its size.
    void reset(Microsoft::WRL::ComPtr<ID3D11Texture2D> texture);

    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    ID3D11Texture2D* native() const { return texture_.Get(); }

private:
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

}  // namespace lumivane::host
