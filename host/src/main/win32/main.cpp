// Windows entry: the dashboard window and its Direct3D 11 swap chain, the Application, the
// dashboard and the main loop. Everything here runs on the main thread, except the console
// control handler, which only posts WM_CLOSE.

#include "app/Application.h"
#include "core/Logging.h"
#include "main/DashboardLink.h"
#include "ui/RedrawPolicy.h"
#include "ui/UIManager.h"
#include "ui/win32_dx11/Win32Dx11Backend.h"

#include <d3d11.h>
#include <dxgi1_2.h>
#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

namespace {

using namespace lumivane::host;
using Clock = RedrawPolicy::Clock;

constexpr wchar_t kClassName[] = L"LumivaneHostClass";
constexpr wchar_t kWindowTitle[] = L"Lumivane Host";
constexpr int kWindowWidth = 1400;
constexpr int kWindowHeight = 900;
constexpr float kClearColour[4] = {0.06f, 0.06f, 0.10f, 1.0f};

template <typename T>
void releaseRef(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The process-wide state of the entry, destroyed in this order by shutdown().
ID3D11Device* device = nullptr;
ID3D11DeviceContext* deviceContext = nullptr;
IDXGISwapChain1* swapChain = nullptr;
ID3D11RenderTargetView* backBufferView = nullptr;
Win32Dx11Backend* uiBackend = nullptr;  // owned by the UIManager; the window procedure's first stop
HWND mainWindow = nullptr;
bool running = true;
std::uint32_t pendingResizeWidth = 0;
std::uint32_t pendingResizeHeight = 0;
bool inputSeen = false;  // input, focus, size or paint since the loop last looked: draw

void CreateBackBufferView() {
    ID3D11Texture2D* backBuffer = nullptr;
    if (FAILED(swapChain->GetBuffer(0, IID_PPV_ARGS(&backBuffer)))) return;
    device->CreateRenderTargetView(backBuffer, nullptr, &backBufferView);
    backBuffer->Release();
}

void DestroyDeviceD3D() {
    releaseRef(backBufferView);
    releaseRef(swapChain);
    releaseRef(deviceContext);
    releaseRef(device);
}

bool createSwapChain(HWND window) {
    IDXGIDevice* dxgiDevice = nullptr;
    IDXGIAdapter* adapter = nullptr;
    IDXGIFactory2* factory = nullptr;
    HRESULT hr = device->QueryInterface(IID_PPV_ARGS(&dxgiDevice));
    if (SUCCEEDED(hr)) hr = dxgiDevice->GetAdapter(&adapter);
    if (SUCCEEDED(hr)) hr = adapter->GetParent(IID_PPV_ARGS(&factory));
    if (SUCCEEDED(hr)) {
        DXGI_SWAP_CHAIN_DESC1 desc{};
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 2;
        desc.Scaling = DXGI_SCALING_STRETCH;
        desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
        desc.AlphaMode = DXGI_ALPHA_MODE_UNSPECIFIED;
        desc.Flags = DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH;
        releaseRef(swapChain);
        hr = factory->CreateSwapChainForHwnd(device, window, &desc, nullptr, nullptr, &swapChain);
        if (SUCCEEDED(hr)) factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);
    }
    releaseRef(factory);
    releaseRef(adapter);
    releaseRef(dxgiDevice);
    if (FAILED(hr)) {
        LV_ERROR("Failed to create swap chain: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    CreateBackBufferView();
    return true;
}

bool CreateDeviceD3D(HWND window) {
    releaseRef(deviceContext);
    releaseRef(device);
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    D3D_FEATURE_LEVEL reached{};
    const HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                         levels, 2, D3D11_SDK_VERSION, &device, &reached, &deviceContext);
    if (FAILED(hr)) {
        LV_ERROR("Failed to create D3D11 device: {:#x}", static_cast<unsigned long>(hr));
        return false;
    }
    return createSwapChain(window);
}

bool wakesTheDashboard(UINT message) {
    return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           message == WM_MOUSELEAVE || message == WM_SETFOCUS || message == WM_KILLFOCUS || message == WM_SIZE ||
           message == WM_PAINT || message == WM_SHOWWINDOW || message == WM_ACTIVATE;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (wakesTheDashboard(message)) inputSeen = true;
    if (uiBackend && uiBackend->handleMessage(window, message, wParam, lParam)) return 1;
    switch (message) {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            pendingResizeWidth = LOWORD(lParam);
            pendingResizeHeight = HIWORD(lParam);
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;  // Alt does not open the system menu
        break;
    case WM_CLOSE:
        running = false;  // the window goes in the shutdown sequence
        return 0;
    case WM_DESTROY:
        running = false;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Ctrl-C, Ctrl-Break or the console closing end the loop like the close box. Runs on a
// thread of its own: it only posts a message to the main thread.
BOOL WINAPI onConsoleControl(DWORD) {
    if (mainWindow) PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    return TRUE;
}

int displayRefreshRate() {
    HDC screen = GetDC(nullptr);
    const int hz = screen ? GetDeviceCaps(screen, VREFRESH) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return hz > 1 ? hz : 0;
}

void drainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_QUIT) running = false;
    }
}

void applyPendingResize() {
    if (pendingResizeWidth == 0 || pendingResizeHeight == 0) return;
    releaseRef(backBufferView);
    swapChain->ResizeBuffers(0, pendingResizeWidth, pendingResizeHeight, DXGI_FORMAT_UNKNOWN, 0);
    pendingResizeWidth = pendingResizeHeight = 0;
    CreateBackBufferView();
}

// Draws when RedrawPolicy says so (input, changed status), at most at the display's rate;
// otherwise waits for messages, waking a few times a second to look at the status.
void runMainLoop(Application& application, UIManager& ui, DashboardLink& dashboard) {
    RedrawPolicy policy(displayRefreshRate());
    while (running) {
        const bool visible = !IsIconic(mainWindow) && IsWindowVisible(mainWindow);
        const bool front = visible && GetForegroundWindow() == mainWindow;
        const auto wait = policy.idleWait(Clock::now(), visible, front);
        if (wait > Clock::duration::zero()) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
            MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(ms), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
        drainMessages();
        if (!running) break;
        const auto now = Clock::now();
        if (std::exchange(inputSeen, false)) policy.onInput(now);
        applyPendingResize();
        application.update();
        if (dashboard.refresh(policy.windowListDue(now, visible))) policy.onChange();
        if (!policy.shouldDraw(now, visible, front)) continue;
        deviceContext->OMSetRenderTargets(1, &backBufferView, nullptr);
        deviceContext->ClearRenderTargetView(backBufferView, kClearColour);
        ui.render();
        swapChain->Present(1, 0);
        policy.drawn(now);
    }
}

HWND createMainWindow(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hIconSm = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) {
        LV_ERROR("Failed to register window class");
        return nullptr;
    }
    HWND window = CreateWindowExW(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (!window) LV_ERROR("Failed to create window");
    return window;
}

int run(HINSTANCE instance, int showCommand) {
    initLogging("LumivaneHost", true, spdlog::level::debug);
    LV_INFO("Lumivane Host starting...");
    LV_INFO("Version: 0.1.0");
    // In the logger before any other thread logs: its sink list is not locked. Lines are
    // dropped until the dashboard exists.
    auto uiSink = std::make_shared<UISinkMt>();
    addLogSink(uiSink);

    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        LV_ERROR("Failed to initialize COM: {:#x}", static_cast<unsigned long>(com));
        return 1;
    }
    mainWindow = createMainWindow(instance);
    if (!mainWindow) return 1;
    if (!CreateDeviceD3D(mainWindow)) {
        LV_ERROR("Failed to create D3D11 device");
        DestroyDeviceD3D();
        UnregisterClassW(kClassName, instance);
        return 1;
    }
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);

    std::unique_ptr<Application> application = Application::create();
    if (!application->initialize()) {
        LV_ERROR("Failed to initialize application");
        return 1;
    }
    auto backend = std::make_unique<Win32Dx11Backend>(mainWindow, device, deviceContext);
    Win32Dx11Backend* backendView = backend.get();
    auto ui = std::make_unique<UIManager>(std::move(backend));
    if (!ui->initialize()) {
        LV_ERROR("Failed to initialize UI");
        return 1;
    }
    uiBackend = backendView;
    auto dashboard = std::make_unique<DashboardLink>(*ui, *application, uiSink);
    LV_INFO("Application initialized, entering main loop...");

    runMainLoop(*application, *ui, *dashboard);

    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    uiBackend = nullptr;
    ui->shutdown();
    dashboard.reset();  // no log line reaches the UI past here; other threads log until the application stops
    ui.reset();
    application->shutdown();
    application.reset();
    DestroyDeviceD3D();
    DestroyWindow(mainWindow);
    mainWindow = nullptr;
    UnregisterClassW(kClassName, instance);
    CoUninitialize();
    LV_INFO("Lumivane Host exiting");
    shutdownLogging();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Started from a console, Ctrl-C there ends the host like the close box.
    AttachConsole(ATTACH_PARENT_PROCESS);
    try {
        return run(instance, showCommand);
    } catch (const std::exception& e) {
        LV_CRITICAL("Unhandled exception: {}", e.what());
        MessageBoxA(nullptr, e.what(), "Lumivane Host - Fatal Error", MB_ICONERROR);
        return 1;
    }
}
