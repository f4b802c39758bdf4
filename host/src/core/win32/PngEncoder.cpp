// PNG through the Windows Imaging Component, from the same BGRA pixels the Linux build
// hands to libpng, so both decode to the same image.
#include "core/PngEncoder.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstring>

namespace lumivane::host {
namespace {

template <typename T>
struct ComRef {
    T* p = nullptr;
    ~ComRef() {
        if (p) p->Release();
    }
    T** put() { return &p; }
    T* operator->() const { return p; }
};

// COM for this call; undone only when this call's initialisation succeeded.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }

private:
    HRESULT hr_;
};

bool encodeInto(IStream* stream, std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& bgra) {
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.put()))))
        return false;
    ComRef<IWICBitmap> bitmap;
    const UINT stride = width * 4;
    if (FAILED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGRA, stride,
                                               UINT(bgra.size()), const_cast<BYTE*>(bgra.data()), bitmap.put())))
        return false;
    ComRef<IWICBitmapEncoder> encoder;
    ComRef<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    return SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) &&
           SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.put(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
           SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
           IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) && SUCCEEDED(frame->WriteSource(bitmap.p, nullptr)) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

std::vector<std::uint8_t> streamBytes(IStream* stream) {
    std::vector<std::uint8_t> png;
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory))) return png;
    STATSTG stat{};
    // The block may be larger than what was written; the stream knows the real length.
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart == 0) return png;
    const void* data = GlobalLock(memory);
    if (!data) return png;
    png.assign(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return png;
}

}  // namespace

std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& bgra) {
    if (width == 0 || height == 0 || bgra.size() != std::size_t(width) * height * 4) return {};
    ComScope com;
    ComRef<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return {};
    if (!encodeInto(stream.p, width, height, bgra)) return {};
    return streamBytes(stream.p);
}

}  // namespace lumivane::host
