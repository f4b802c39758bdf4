#include "gpu/d3d11/D3D11Texture.h"

namespace lumivane::host {

void D3D11Texture::reset(Microsoft::WRL::ComPtr<ID3D11Texture2D> texture) {
    texture_ = std::move(texture);
    D3D11_TEXTURE2D_DESC desc{};
    if (texture_) texture_->GetDesc(&desc);
    width_ = desc.Width;
    height_ = desc.Height;
}

}  // namespace lumivane::host
