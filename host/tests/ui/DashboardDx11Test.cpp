// The dashboard through ImGui's Win32 and Direct3D 11 back ends, in a real window under
// Wine: a frame reads back with the page's colours, and a click sent with SendInput on the
// sidebar opens another page.

#include "ui/UIManager.h"
#include "ui/win32_dx11/Win32Dx11Backend.h"

#include <d3d11.h>
#include <gtest/gtest.h>
#include <windows.h>
#undef near  // windows.h makes it an empty word; DashboardPixels names a function so

#include "fakes/LogCapture.h"
#include "ui/DashboardPixels.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace lumivane::host {
namespace {

using namespace dashboard;

constexpr int kWidth = 1400;
constexpr int kHeight = 900;

Win32Dx11Backend* activeBackend = nullptr;
bool clickSeen[2] = {false, false};  // button down, button up

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) clickSeen[0] = true;
    if (message == WM_LBUTTONUP) clickSeen[1] = true;
    if (activeBackend && activeBackend->handleMessage(window, message, wParam, lParam)) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

template <typename T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The back buffer as the entry draws it, but into a texture the test reads back.
class Dx11Dashboard {
public:
    ~Dx11Dashboard() {
        activeBackend = nullptr;
        if (ui) ui->shutdown();
        ui.reset();
        release(target_);
        release(staging_);
        release(texture_);
        release(context_);
        release(device_);
        if (window) DestroyWindow(window);
        UnregisterClassW(L"LumivaneDx11Test", GetModuleHandleW(nullptr));
    }

    // Empty when it worked, else why not.
    std::string open() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = testWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LumivaneDx11Test";
        RegisterClassW(&wc);
        RECT frame{0, 0, kWidth, kHeight};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        window = CreateWindowExW(0, wc.lpszClassName, L"Dashboard DX11 test", WS_OVERLAPPEDWINDOW, 0, 0,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, wc.hInstance,
                                 nullptr);
        if (!window) return "no window";
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
        const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
        HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                       levels, 2, D3D11_SDK_VERSION, &device_, nullptr, &context_);
        if (FAILED(hr)) return "D3D11CreateDevice failed: this Wine has no Direct3D 11 device";
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = kWidth;
        desc.Height = kHeight;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;  // as Picture holds it
        desc.SampleDesc.Count = 1;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET;
        if (FAILED(device_->CreateTexture2D(&desc, nullptr, &texture_))) return "no render target texture";
        desc.BindFlags = 0;
        desc.Usage = D3D11_USAGE_STAGING;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        if (FAILED(device_->CreateTexture2D(&desc, nullptr, &staging_))) return "no staging texture";
        if (FAILED(device_->CreateRenderTargetView(texture_, nullptr, &target_))) return "no render target view";
        auto backend = std::make_unique<Win32Dx11Backend>(window, device_, context_);
        Win32Dx11Backend* view = backend.get();
        ui = std::make_unique<UIManager>(std::move(backend));
        if (!ui->initialize()) return "the dashboard did not initialise";
        activeBackend = view;
        return {};
    }

    Picture draw(int frames = 2) {
        const float clear[4] = {0.06f, 0.06f, 0.10f, 1.0f};
        for (int i = 0; i < frames; ++i) {
            pump();
            context_->OMSetRenderTargets(1, &target_, nullptr);
            context_->ClearRenderTargetView(target_, clear);
            ui->render();
        }
        return readBack();
    }

    // Handles what has arrived, without waiting.
    void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // Input from SendInput arrives through the window system; wait for it, bounded.
    bool pumpUntil(const bool& seen) {
        const DWORD until = GetTickCount() + 10000;
        while (!seen && GetTickCount() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            pump();
        }
        return seen;
    }

    POINT toScreen(int x, int y) const {
        POINT p{x, y};
        ClientToScreen(window, &p);
        return p;
    }

    HWND window = nullptr;
    std::unique_ptr<UIManager> ui;

private:
    Picture readBack() {
        context_->CopyResource(staging_, texture_);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        Picture picture;
        if (FAILED(context_->Map(staging_, 0, D3D11_MAP_READ, 0, &mapped))) return picture;
        picture.width = kWidth;
        picture.height = kHeight;
        picture.bgra.resize(std::size_t{kWidth} * kHeight * 4);
        for (int y = 0; y < kHeight; ++y) {
            std::memcpy(picture.bgra.data() + std::size_t(y) * kWidth * 4,
                        static_cast<const std::uint8_t*>(mapped.pData) + std::size_t(y) * mapped.RowPitch, kWidth * 4);
        }
        context_->Unmap(staging_, 0);
        return picture;
    }

    ID3D11Device* device_ = nullptr;
    ID3D11DeviceContext* context_ = nullptr;
    ID3D11Texture2D* texture_ = nullptr;
    ID3D11Texture2D* staging_ = nullptr;
    ID3D11RenderTargetView* target_ = nullptr;
};

void sendMouse(DWORD flags, POINT at = {}) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        input.mi.dx = MulDiv(at.x - left, 65535, width - 1);
        input.mi.dy = MulDiv(at.y - top, 65535, height - 1);
    }
    SendInput(1, &input, sizeof input);
}

// The rows of the one highlighted sidebar button (lighter under the pointer).
Span highlightedButton(const Picture& frame) {
    const auto bands = rowBands(frame, {240, 0, 241, kHeight - 56},
                                [](auto p) { return near(p, primary) || near(p, primaryLight); });
    return bands.size() == 1 ? bands[0] : Span{0, 0};
}

TEST(DashboardDx11Test, DrawsThePagesColoursAndASidebarClickOpensAnotherPage) {
    LogCapture log;
    Dx11Dashboard dashboard;
    const std::string problem = dashboard.open();
    if (!problem.empty()) GTEST_SKIP() << problem << "\n" << log.text();

    const Picture first = dashboard.draw();
    ASSERT_EQ(first.width, kWidth) << "the frame could not be read back";
    EXPECT_TRUE(near(first.at(5, 600), sidebar)) << "sidebar";
    EXPECT_TRUE(near(first.at(700, kHeight - 5), sidebar)) << "status bar";
    EXPECT_TRUE(near(first.at(kWidth - 20, 150), background)) << "content";
    const Span dashboardButton = highlightedButton(first);
    ASSERT_GT(dashboardButton.length(), 30) << "one highlighted navigation button";

    // Where the Streaming page's button is, then back to the first page to click it.
    dashboard.ui->setCurrentPage(UIManager::Streaming);
    const Span streamingButton = highlightedButton(dashboard.draw());
    ASSERT_GT(streamingButton.begin, dashboardButton.end);
    dashboard.ui->setCurrentPage(UIManager::Dashboard);
    dashboard.draw();

    // ImGui 1.86 reads the button's state once a frame: a frame between each step.
    const POINT target = dashboard.toScreen(120, streamingButton.middle());
    sendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK, target);
    dashboard.draw(1);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(dashboard.pumpUntil(clickSeen[0])) << "the button press never reached the window";
    dashboard.draw(1);
    sendMouse(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(dashboard.pumpUntil(clickSeen[1])) << "the button release never reached the window";
    const Picture after = dashboard.draw(2);
    EXPECT_EQ(dashboard.ui->currentPage(), UIManager::Streaming);
    EXPECT_EQ(highlightedButton(after), streamingButton);
}

}  // namespace
}  // namespace lumivane::host
