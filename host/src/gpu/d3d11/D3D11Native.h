#pragma once
// The one way from the platform-neutral frame types to their Direct3D 11 objects, for the
// Windows capture and encoders.

#include "gpu/GpuDevice.h"

#include <d3d11.h>

namespace lumivane::host {

// Null when the device or texture is not a Direct3D 11 one.
ID3D11Device* nativeDevice(GpuDevice* device);
ID3D11Texture2D* nativeTexture(const Texture& texture);

}  // namespace lumivane::host
