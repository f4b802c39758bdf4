// Linux entry: the dashboard window (GLFW, OpenGL 3), the Application, the dashboard and
// the main loop. Everything here runs on the main thread.

#include "app/Application.h"
#include "main/DashboardLink.h"
#include "core/Logging.h"
#include "ui/UIManager.h"
#include "ui/glfw_gl3/GlfwGl3Backend.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

namespace {

using namespace lumivane::host;
using Clock = std::chrono::steady_clock;

constexpr int kWindowWidth = 1400;
constexpr int kWindowHeight = 900;
constexpr const char* kWindowTitle = "Lumivane Host";
constexpr float kClearColour[4] = {0.06f, 0.06f, 0.10f, 1.0f};

// SIGINT and SIGTERM end the loop like closing the window. The handler only sets this flag;
// the loop never blocks longer than one refresh period, so it sees the flag promptly.
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

// Framebuffer size from the last resize that was not a minimise; 0 x 0 when none is pending.
struct PendingResize {
    int width = 0;
    int height = 0;
};
PendingResize pendingResize;

void onFramebufferSize(GLFWwindow*, int width, int height) {
    if (width > 0 && height > 0) pendingResize = {width, height};
}

// Vertical sync paces the loop. Where the driver ignores it (Xvfb, some remote displays)
// swapping returns at once; the loop then waits for events until the refresh period is
// over instead of spinning. A frame that took most of a period (software rendering) still
// waits out the rest, while one that vertical sync ended near the period's end does not.
// Iterations that draw nothing wait out their period the same way.
class FramePacer {
public:
    explicit FramePacer(int refreshHz) : period_(std::chrono::duration<double>(1.0 / (refreshHz > 0 ? refreshHz : 60))) {}

    int refreshHz() const { return int(1.0 / period_.count() + 0.5); }

    void waitForNextPeriod() {
        const auto due = last_ + std::chrono::duration_cast<Clock::duration>(period_);
        if (Clock::now() < due - std::chrono::duration_cast<Clock::duration>(period_ / 8)) {
            // Events wake the wait early; their callbacks have run, the frame still waits.
            for (auto now = Clock::now(); now < due; now = Clock::now())
                glfwWaitEventsTimeout(std::chrono::duration<double>(due - now).count());
        }
        last_ = Clock::now();
    }

private:
    const std::chrono::duration<double> period_;
    Clock::time_point last_ = Clock::now();
};

// A dashboard nobody looks at (minimised, or another window has the focus, as while the
// user works in the window being streamed) is drawn kBackgroundDrawHz times a second: its
// figures change once a second, and on a machine that draws OpenGL in software each frame
// would take CPU time the encoder needs. Polling and status keep the full rate.
constexpr int kBackgroundDrawHz = 10;

bool inBackground(GLFWwindow* window) {
    return glfwGetWindowAttrib(window, GLFW_ICONIFIED) || !glfwGetWindowAttrib(window, GLFW_FOCUSED);
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

void runMainLoop(GLFWwindow* window, Application& application, UIManager& ui, DashboardLink& dashboard) {
    FramePacer pacer(monitorRefreshRate());
    const int backgroundEvery = std::max(1, pacer.refreshHz() / kBackgroundDrawHz);
    int sinceDrawn = backgroundEvery;
    while (true) {
        glfwPollEvents();
        if (glfwWindowShouldClose(window) || stopRequested.load()) break;
        if (pendingResize.width > 0 && pendingResize.height > 0) {
            glViewport(0, 0, pendingResize.width, pendingResize.height);
            pendingResize = {};
        }
        application.update();
        dashboard.refresh();
        if (++sinceDrawn >= backgroundEvery || !inBackground(window)) {
            sinceDrawn = 0;
            glClearColor(kClearColour[0], kClearColour[1], kClearColour[2], kClearColour[3]);
            glClear(GL_COLOR_BUFFER_BIT);
            ui.render();
            glfwSwapBuffers(window);
        }
        pacer.waitForNextPeriod();
    }
}

int run() {
    initLogging("LumivaneHost", true, spdlog::level::debug);
    LV_INFO("Lumivane Host starting...");
    LV_INFO("Version: 0.1.0");
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
