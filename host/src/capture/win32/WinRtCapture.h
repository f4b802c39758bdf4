#pragma once
// The Windows Graphics Capture ABI, declared here because the toolchain's headers lack it:
// the raw WinRT interfaces the capture uses, each with its published interface id and its
// methods in vtable order (after IUnknown or IInspectable). Only what the capture calls is
// typed; other methods keep their slot with an untyped signature.

#include <d3d11.h>
#include <eventtoken.h>
#include <hstring.h>
#include <inspectable.h>
#include <windows.h>

#include <cstdint>

namespace lumivane::host::winrt {

struct SizeInt32 {
    std::int32_t Width;
    std::int32_t Height;
};
struct TimeSpan {
    std::int64_t Duration;
};
enum class DirectXPixelFormat : std::int32_t { B8G8R8A8UIntNormalized = 87 };

inline constexpr wchar_t kGraphicsCaptureItemClass[] = L"Windows.Graphics.Capture.GraphicsCaptureItem";
inline constexpr wchar_t kFramePoolClass[] = L"Windows.Graphics.Capture.Direct3D11CaptureFramePool";
inline constexpr wchar_t kCaptureSessionClass[] = L"Windows.Graphics.Capture.GraphicsCaptureSession";

struct IDirect3DDevice : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Trim() = 0;
};

struct IDirect3DSurface : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Description(void* description) = 0;
};

struct IDirect3DDxgiInterfaceAccess : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterface(REFIID iid, void** object) = 0;
};

struct IClosable : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

struct IGraphicsCaptureItem;
struct IDirect3D11CaptureFramePool;

// TypedEventHandler<GraphicsCaptureItem, Object>: the item's Closed event.
struct IItemClosedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(IGraphicsCaptureItem* sender, IInspectable* args) = 0;
};

// TypedEventHandler<Direct3D11CaptureFramePool, Object>: the pool's FrameArrived event.
struct IFrameArrivedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(IDirect3D11CaptureFramePool* sender, IInspectable* args) = 0;
};

struct IGraphicsCaptureItemInterop : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateForWindow(HWND window, REFIID iid, void** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateForMonitor(HMONITOR monitor, REFIID iid, void** result) = 0;
};

struct IGraphicsCaptureItem : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_DisplayName(HSTRING* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(SizeInt32* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Closed(IItemClosedHandler* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Closed(EventRegistrationToken token) = 0;
};

struct IDirect3D11CaptureFrame : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Surface(IDirect3DSurface** surface) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SystemRelativeTime(TimeSpan* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentSize(SizeInt32* size) = 0;
};

struct IGraphicsCaptureSession : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE StartCapture() = 0;
};

struct IGraphicsCaptureSession2 : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_IsCursorCaptureEnabled(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsCursorCaptureEnabled(boolean value) = 0;
};

struct IGraphicsCaptureSession3 : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_IsBorderRequired(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IsBorderRequired(boolean value) = 0;
};

struct IGraphicsCaptureSessionStatics : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE IsSupported(boolean* result) = 0;
};

struct IDirect3D11CaptureFramePool : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE Recreate(IDirect3DDevice* device, DirectXPixelFormat format,
                                               std::int32_t bufferCount, SizeInt32 size) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryGetNextFrame(IDirect3D11CaptureFrame** frame) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_FrameArrived(IFrameArrivedHandler* handler,
                                                       EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_FrameArrived(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCaptureSession(IGraphicsCaptureItem* item,
                                                           IGraphicsCaptureSession** session) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DispatcherQueue(IInspectable** queue) = 0;
};

struct IDirect3D11CaptureFramePoolStatics2 : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE CreateFreeThreaded(IDirect3DDevice* device, DirectXPixelFormat format,
                                                         std::int32_t bufferCount, SizeInt32 size,
                                                         IDirect3D11CaptureFramePool** pool) = 0;
};

// d3d11.dll's bridge from a DXGI device to the WinRT device wrapper, looked up at run time
// (older systems and Wine lack it).
using CreateDirect3D11DeviceFromDXGIDeviceFn = HRESULT(WINAPI*)(IUnknown* dxgiDevice, IInspectable** device);

}  // namespace lumivane::host::winrt

// The published interface ids. The two handler ids are derived from their parameterised
// types' signatures (a test recomputes them).
__CRT_UUID_DECL(lumivane::host::winrt::IDirect3DDevice, 0xa37624ab, 0x8d5f, 0x4650, 0x9d, 0x3e, 0x9e, 0xae, 0x3d, 0x9b,
                0xc6, 0x70)
__CRT_UUID_DECL(lumivane::host::winrt::IDirect3DSurface, 0x0bf4a146, 0x13c1, 0x4694, 0xbe, 0xe3, 0x7a, 0xbf, 0x15, 0xea,
                0xf5, 0x86)
__CRT_UUID_DECL(lumivane::host::winrt::IDirect3DDxgiInterfaceAccess, 0xa9b3d012, 0x3df2, 0x4ee3, 0xb8, 0xd1, 0x86, 0x95,
                0xf4, 0x57, 0xd3, 0xc1)
__CRT_UUID_DECL(lumivane::host::winrt::IClosable, 0x30d5a829, 0x7fa4, 0x4026, 0x83, 0xbb, 0xd7, 0x5b, 0xae, 0x4e, 0xa9,
                0x9e)
__CRT_UUID_DECL(lumivane::host::winrt::IItemClosedHandler, 0xe9c610c0, 0xa68c, 0x5bd9, 0x80, 0x21, 0x85, 0x89, 0x34,
                0x6e, 0xee, 0xe2)
__CRT_UUID_DECL(lumivane::host::winrt::IFrameArrivedHandler, 0x51a947f7, 0x79cf, 0x5a3e, 0xa3, 0xa5, 0x12, 0x89, 0xcf,
                0xa6, 0xdf, 0xe8)
__CRT_UUID_DECL(lumivane::host::winrt::IGraphicsCaptureItemInterop, 0x3628e81b, 0x3cac, 0x4c60, 0xb7, 0xf4, 0x23, 0xce,
                0x0e, 0x0c, 0x33, 0x56)
__CRT_UUID_DECL(lumivane::host::winrt::IGraphicsCaptureItem, 0x79c3f95b, 0x31f7, 0x4ec2, 0xa4, 0x64, 0x63, 0x2e, 0xf5,
                0xd3, 0x07, 0x60)
__CRT_UUID_DECL(lumivane::host::winrt::IDirect3D11CaptureFrame, 0xfa50c623, 0x38da, 0x4b32, 0xac, 0xf3, 0xfa, 0x97,
                0x34, 0xad, 0x80, 0x0e)
__CRT_UUID_DECL(lumivane::host::winrt::IGraphicsCaptureSession, 0x814e42a9, 0xf70f, 0x4ad7, 0x93, 0x9b, 0xfd, 0xdc,
                0xc6, 0xeb, 0x88, 0x0d)
__CRT_UUID_DECL(lumivane::host::winrt::IGraphicsCaptureSession2, 0x2c39ae40, 0x7d2e, 0x5044, 0x80, 0x4e, 0x8b, 0x67,
                0x99, 0xd4, 0xcf, 0x9e)
__CRT_UUID_DECL(lumivane::host::winrt::IGraphicsCaptureSession3, 0xf2cdd966, 0x22ae, 0x5ea1, 0x95, 0x96, 0x3a, 0x28,
                0x93, 0x44, 0xc3, 0xbe)
__CRT_UUID_DECL(lumivane::host::winrt::IGraphicsCaptureSessionStatics, 0x2224a540, 0x5974, 0x49aa, 0xb2, 0x32, 0x08,
                0x82, 0x53, 0x6f, 0x4c, 0xb5)
__CRT_UUID_DECL(lumivane::host::winrt::IDirect3D11CaptureFramePool, 0x24eb6d22, 0x1975, 0x422e, 0x82, 0xe7, 0x78, 0x0d,
                0xbd, 0x8d, 0xdf, 0x24)
__CRT_UUID_DECL(lumivane::host::winrt::IDirect3D11CaptureFramePoolStatics2, 0x589b103f, 0x6bbc, 0x5df5, 0xa9, 0x91,
                0x02, 0xe2, 0x8b, 0x3b, 0x66, 0xd5)
