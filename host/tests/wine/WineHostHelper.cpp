// What the test of the host under Wine needs done from inside Wine: a window of its own to
// be listed, and the host's window closed or the host sent Ctrl-Break.
//   window                 shows "Lumivane Wine Window é" until it is closed
//   close SECONDS          posts WM_CLOSE to the host's window once it exists
//   break SECONDS EXE      starts EXE in a console process group of its own, sends it
//                          Ctrl-Break once its window exists and prints its exit code
// Exit status 0 on success, 1 on failure, 77 when Wine cannot deliver the console event.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kHostClass[] = L"LumivaneHostClass";
constexpr wchar_t kTestTitle[] = L"Lumivane Wine Window \u00e9";
constexpr int kSkip = 77;

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int showWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = testWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LumivaneWineTestWindow";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (!RegisterClassW(&wc)) return 1;
    HWND window = CreateWindowExW(0, wc.lpszClassName, kTestTitle, WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    std::printf("window shown\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// The host's window appears once it has started; nothing signals that, so look twice a second.
HWND waitForHostWindow(int seconds) {
    for (int i = 0; i < seconds * 2; ++i) {
        if (HWND window = FindWindowW(kHostClass, nullptr)) return window;
        Sleep(500);
    }
    std::fprintf(stderr, "no window of class LumivaneHostClass within %d s\n", seconds);
    return nullptr;
}

int closeHost(int seconds) {
    HWND window = waitForHostWindow(seconds);
    return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

int breakHost(int seconds, const wchar_t* exe) {
    std::wstring command = L"\"" + std::wstring(exe) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "cannot start the host: error %lu\n", GetLastError());
        return 1;
    }
    int result = 1;
    if (HWND window = waitForHostWindow(seconds)) {
        if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId)) {
            std::printf("SKIPPED Ctrl-Break: GenerateConsoleCtrlEvent failed (error %lu): this Wine has no "
                        "console to send it through\n", GetLastError());
            PostMessageW(window, WM_CLOSE, 0, 0);
            result = kSkip;
        } else if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(seconds) * 1000) == WAIT_TIMEOUT) {
            std::printf("SKIPPED Ctrl-Break: the event did not reach the host under this Wine\n");
            PostMessageW(window, WM_CLOSE, 0, 0);
            result = kSkip;
        }
    }
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(seconds) * 1000) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "the host did not end\n");
        TerminateProcess(process.hProcess, 1);
        result = 1;
    } else {
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        std::printf("host exit code %lu\n", code);
        if (code != 0) result = 1;
        else if (result == 1) result = 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"window") return showWindow();
    if (what == L"close" && argc == 3) return closeHost(_wtoi(argv[2]));
    if (what == L"break" && argc == 4) return breakHost(_wtoi(argv[2]), argv[3]);
    std::fprintf(stderr, "usage: lumivane-wine-helper window | close SECONDS | break SECONDS EXE\n");
    return 2;
}
