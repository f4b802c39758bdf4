// Linux entry: the dashboard window (GLFW, OpenGL 3), the Application, the dashboard and
// the main loop. Everything here runs on the main thread.

#include "app/Application.h"
#include "main/DashboardLink.h"
#include "core/Logging.h"
#include "ui/UIManager.h"
#include "ui/RedrawPolicy.h"
#include "ui/glfw_gl3/GlfwGl3Backend.h"

#include <GLFW/glfw3.h>
#include <X11/Xlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <utility>

namespace {

using namespace lumivane::host;
using Clock = RedrawPolicy::Clock;

constexpr int kWindowWidth = 1400;
constexpr int kWindowHeight = 900;
constexpr const char* kWindowTitle = "Lumivane Host";
constexpr float kClearColour[4] = {0.06f, 0.06f, 0.10f, 1.0f};

// SIGINT and SIGTERM end the loop like closing the window. The handler only sets this flag;
// the loop never waits longer than RedrawPolicy::kStatusPoll, so it sees the flag promptly.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) { stopRequested.store(true); }

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A client vanishing mid-write must be an error on that socket, not the end of the host.
    std::signal(SIGPIPE, SIG_IGN);
}

void logGlfwError(int code, const char* description) { LV_ERROR("GLFW error {}: {}", code, description); }

// Input wakes the loop and makes the dashboard draw.
bool inputSeen = false;

// Framebuffer size from the last resize that was not a minimise; 0 x 0 when none is pending.
struct PendingResize {
    int width = 0;
    int height = 0;
};
PendingResize pendingResize;

void onFramebufferSize(GLFWwindow*, int width, int height) {
    if (width > 0 && height > 0) pendingResize = {width, height};
    inputSeen = true;
}

// Set by GLFW callbacks installed after ImGui's, which they call first.
GLFWcursorposfun imguiCursorPos = nullptr;
GLFWmousebuttonfun imguiMouseButton = nullptr;
GLFWscrollfun imguiScroll = nullptr;
GLFWkeyfun imguiKey = nullptr;
GLFWcharfun imguiChar = nullptr;
GLFWwindowfocusfun imguiFocus = nullptr;
GLFWcursorenterfun imguiCursorEnter = nullptr;

void watchInput(GLFWwindow* window) {
    imguiCursorPos = glfwSetCursorPosCallback(window, [](GLFWwindow* w, double x, double y) {
        if (imguiCursorPos) imguiCursorPos(w, x, y);
        inputSeen = true;
    });
    imguiMouseButton = glfwSetMouseButtonCallback(window, [](GLFWwindow* w, int b, int a, int m) {
        if (imguiMouseButton) imguiMouseButton(w, b, a, m);
        inputSeen = true;
    });
    imguiScroll = glfwSetScrollCallback(window, [](GLFWwindow* w, double x, double y) {
        if (imguiScroll) imguiScroll(w, x, y);
        inputSeen = true;
    });
    imguiKey = glfwSetKeyCallback(window, [](GLFWwindow* w, int k, int s, int a, int m) {
        if (imguiKey) imguiKey(w, k, s, a, m);
        inputSeen = true;
    });
    imguiChar = glfwSetCharCallback(window, [](GLFWwindow* w, unsigned c) {
        if (imguiChar) imguiChar(w, c);
        inputSeen = true;
    });
    imguiFocus = glfwSetWindowFocusCallback(window, [](GLFWwindow* w, int f) {
        if (imguiFocus) imguiFocus(w, f);
        inputSeen = true;
    });
    imguiCursorEnter = glfwSetCursorEnterCallback(window, [](GLFWwindow* w, int e) {
        if (imguiCursorEnter) imguiCursorEnter(w, e);
        inputSeen = true;
    });
    glfwSetWindowRefreshCallback(window, [](GLFWwindow*) { inputSeen = true; });
    glfwSetWindowIconifyCallback(window, [](GLFWwindow*, int) { inputSeen = true; });
}

// What the dashboard says of the platform: X11's capture, not Windows'.
void describeLinux(SystemInfo& info) {
    info.captureShortName = "XComposite";
    info.captureName = "X11 Composite capture";
    info.startWithSystemLabel = "Start at login";
}

int monitorRefreshRate() {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    return mode ? mode->refreshRate : 0;
}

GLFWwindow* createHostWindow() {
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    GLFWwindow* window = glfwCreateWindow(kWindowWidth, kWindowHeight, kWindowTitle, nullptr, nullptr);
    if (!window) return nullptr;
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glfwSetFramebufferSizeCallback(window, onFramebufferSize);
    return window;
}

// Draws when RedrawPolicy says so (input, changed status), paced by the display's rate;
// otherwise waits for input, waking a few times a second to look at the status.
void runMainLoop(GLFWwindow* window, Application& application, UIManager& ui, DashboardLink& dashboard) {
    RedrawPolicy policy(monitorRefreshRate());
    watchInput(window);
    while (true) {
        const bool visible = !glfwGetWindowAttrib(window, GLFW_ICONIFIED);
        const bool front = visible && glfwGetWindowAttrib(window, GLFW_FOCUSED);
        const auto wait = policy.idleWait(Clock::now(), visible, front);
        if (wait > Clock::duration::zero()) {
            glfwWaitEventsTimeout(std::chrono::duration<double>(wait).count());
        } else {
            glfwPollEvents();
        }
        if (glfwWindowShouldClose(window) || stopRequested.load()) break;
        const auto now = Clock::now();
        if (std::exchange(inputSeen, false)) policy.onInput(now);
        if (pendingResize.width > 0 && pendingResize.height > 0) {
            glViewport(0, 0, pendingResize.width, pendingResize.height);
            pendingResize = {};
        }
        application.update();
        if (dashboard.refresh(policy.windowListDue(now, visible))) policy.onChange();
        if (!policy.shouldDraw(now, visible, front)) continue;
        glClearColor(kClearColour[0], kClearColour[1], kClearColour[2], kClearColour[3]);
        glClear(GL_COLOR_BUFFER_BIT);
        ui.render();
        glfwSwapBuffers(window);
        policy.drawn(now);
    }
}

// Each client costs a few descriptors; the usual soft limit of 1024 lets a flood of
// half-open connections lock out the real client long before the hard limit would.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    const rlim_t previous = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        LV_WARN("Could not raise the descriptor limit from {}", previous);
        return;
    }
    LV_INFO("Descriptor limit raised from {} to {}", previous, limit.rlim_cur);
}

int run() {
    // Capture and input use Xlib from their own threads; this must precede every Xlib
    // call, GLFW's opening of the display included.
    XInitThreads();
    initLogging("LumivaneHost", true, spdlog::level::debug);
    LV_INFO("Lumivane Host starting...");
    LV_INFO("Version: 0.1.0");
    raiseDescriptorLimit();
    installSignalHandlers();
    // In the logger before any other thread logs: its sink list is not locked. Lines are
    // dropped until the dashboard exists.
    auto uiSink = std::make_shared<UISinkMt>();
    addLogSink(uiSink);

    glfwSetErrorCallback(logGlfwError);
    if (!glfwInit()) {
        const char* display = std::getenv("DISPLAY");
        LV_ERROR("No display: Lumivane Host needs an X server to show its window and capture others "
                 "(DISPLAY is {})", display && *display ? display : "not set");
        return 1;
    }
    GLFWwindow* window = createHostWindow();
    if (!window) {
        LV_ERROR("Failed to create window");
        return 1;
    }

    std::unique_ptr<Application> application = Application::create();
    if (!application->initialize()) {
        LV_ERROR("Failed to initialize application");
        return 1;
    }
    auto ui = std::make_unique<UIManager>(createGlfwGl3Backend(window));
    if (!ui->initialize()) {
        LV_ERROR("Failed to initialize UI");
        return 1;
    }
    auto dashboard = std::make_unique<DashboardLink>(*ui, *application, uiSink);
    describeLinux(ui->systemInfo);
    LV_INFO("Application initialized, entering main loop...");

    runMainLoop(window, *application, *ui, *dashboard);

    ui->shutdown();
    dashboard.reset();  // no log line reaches the UI past here; other threads log until the application stops
    ui.reset();
    application->shutdown();
    application.reset();
    glfwDestroyWindow(window);
    glfwTerminate();
    LV_INFO("Lumivane Host exiting");
    shutdownLogging();
    return 0;
}

}  // namespace

int main() {
    try {
        return run();
    } catch (const std::exception& e) {
        LV_CRITICAL("Unhandled exception: {}", e.what());
        std::fprintf(stderr, "Lumivane Host - Fatal Error: %s\n", e.what());
        return 1;
    }
}
