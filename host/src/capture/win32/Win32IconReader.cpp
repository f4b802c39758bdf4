#include "capture/win32/Win32IconReader.h"

#include "capture/win32/Win32Text.h"
#include "core/Logging.h"

#include <shellapi.h>

#include <cstring>

namespace lumivane::host {
namespace {

class ProcessHandle {
public:
    explicit ProcessHandle(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != 0) handle_ = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    ~ProcessHandle() {
        if (handle_) CloseHandle(handle_);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    std::wstring imagePath() const {
        if (!handle_) return {};
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (!QueryFullProcessImageNameW(handle_, 0, path, &size)) return {};
        return std::wstring(path, size);
    }

private:
    HANDLE handle_ = nullptr;
};

// The icon and whether this call owns it (only an extracted one).
struct FoundIcon {
    HICON icon = nullptr;
    bool owned = false;
    ~FoundIcon() {
        if (owned && icon) DestroyIcon(icon);
    }
};

HICON usable(ULONG_PTR value) { return value < 2 ? nullptr : reinterpret_cast<HICON>(value); }

HICON messageIcon(HWND window, WPARAM which) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_GETICON, which, 0, SMTO_ABORTIFHUNG, 100, &result)) return nullptr;
    return usable(result);
}

void findIcon(HWND window, FoundIcon& found) {
    found.icon = messageIcon(window, ICON_BIG);
    if (!found.icon) found.icon = messageIcon(window, ICON_SMALL);
    if (!found.icon) found.icon = usable(GetClassLongPtrW(window, GCLP_HICON));
    if (!found.icon) found.icon = usable(GetClassLongPtrW(window, GCLP_HICONSM));
    if (found.icon) return;
    const std::wstring path = ProcessHandle(window).imagePath();
    if (path.empty()) return;
    HICON large = nullptr, small = nullptr;
    if (ExtractIconExW(path.c_str(), 0, &large, &small, 1) == 0) return;
    if (large && small) DestroyIcon(small);
    found.icon = large ? large : small;
    found.owned = true;
}

struct IconBitmaps {
    ICONINFO info{};
    ~IconBitmaps() {
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
};

// Draws the icon into a top-down 32-bit DIB filled with black first.
std::optional<IconImage> render(HICON icon, int width, int height) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::optional<IconImage> image;
    if (!dib || !bits) {
        LV_WARN("getWindowIconBase64: CreateDIBSection failed, error={}", GetLastError());
    } else {
        HGDIOBJ previous = SelectObject(memory, dib);
        RECT all{0, 0, width, height};
        HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
        FillRect(memory, &all, black);
        DeleteObject(black);
        DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
        SelectObject(memory, previous);
        image = IconImage{std::uint32_t(width), std::uint32_t(height), {}};
        image->bgra.resize(std::size_t(width) * height * 4);
        std::memcpy(image->bgra.data(), bits, image->bgra.size());
    }
    if (dib) DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

}  // namespace

std::string processImagePathOf(HWND window) {
    const std::wstring path = ProcessHandle(window).imagePath();
    return toUtf8(path.data(), static_cast<int>(path.size()));
}

std::optional<IconImage> readWindowIcon(HWND window) {
    FoundIcon found;
    findIcon(window, found);
    if (!found.icon) return std::nullopt;
    IconBitmaps bitmaps;
    if (!GetIconInfo(found.icon, &bitmaps.info)) {
        LV_WARN("getWindowIconBase64: GetIconInfo failed, error={}", GetLastError());
        return std::nullopt;
    }
    BITMAP bitmap{};
    HBITMAP source = bitmaps.info.hbmColor ? bitmaps.info.hbmColor : bitmaps.info.hbmMask;
    if (!GetObjectW(source, sizeof bitmap, &bitmap)) {
        LV_WARN("getWindowIconBase64: GetObject failed, error={}", GetLastError());
        return std::nullopt;
    }
    // A mask-only icon holds the AND and XOR masks one above the other.
    const int height = bitmaps.info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (bitmap.bmWidth <= 0 || height <= 0) return std::nullopt;
    return render(found.icon, bitmap.bmWidth, height);
}

}  // namespace lumivane::host
