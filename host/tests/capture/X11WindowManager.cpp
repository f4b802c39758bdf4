#include "X11WindowManager.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

extern char** environ;

namespace lumivane::host {
namespace {

using Clock = std::chrono::steady_clock;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Re-checks done() after every event the connection receives, until it holds or the
// deadline passes. The caller selects the events that announce the change it waits for.
bool waitUntil(Display* display, const std::function<bool()>& done, std::chrono::seconds timeout = std::chrono::seconds(20)) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
        if (done()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, int(left));
    }
    return true;
}

long cardinalProperty(Display* display, Window window, const char* name, long fallback) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long value = fallback;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && count == 1 && format == 32) {
        value = *reinterpret_cast<long*>(data);
    }
    if (data) XFree(data);
    return value;
}

bool hasProperty(Display* display, Window window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 0, False, AnyPropertyType, &type, &format,
                       &count, &after, &data);
    if (data) XFree(data);
    return type != None;
}

// ICCCM WM_STATE: 1 normal, 3 iconic; -1 while unmanaged.
long wmState(Display* display, Window window) { return cardinalProperty(display, window, "WM_STATE", -1); }

bool viewable(Display* display, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

void sendToRoot(Display* display, Window window, const char* message, long a0, long a1 = 0) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, message, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = a0;
    event.xclient.data.l[1] = a1;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

// A connection that hears the window's map, unmap and property changes.
DisplayPtr watching(Window window) {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (display) {
        XSelectInput(display.get(), window, StructureNotifyMask | PropertyChangeMask);
        XSync(display.get(), False);
    }
    return display;
}

// What a window manager leaves on the root: a stale client list would make later tests
// believe in a manager that is gone, and a new openbox restores state from it.
void clearManagerProperties(Display* display) {
    const Window root = DefaultRootWindow(display);
    int count = 0;
    Atom* atoms = XListProperties(display, root, &count);
    for (int i = 0; i < count; ++i) {
        char* name = XGetAtomName(display, atoms[i]);
        const std::string text = name ? name : "";
        if (name) XFree(name);
        if (text.rfind("_NET_", 0) == 0 || text.rfind("_OB_", 0) == 0 || text.rfind("_OPENBOX", 0) == 0)
            XDeleteProperty(display, root, atoms[i]);
    }
    if (atoms) XFree(atoms);
    XSync(display, False);
}

}  // namespace

X11WindowManager::X11WindowManager() {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return;
    clearManagerProperties(display.get());
    const Window root = DefaultRootWindow(display.get());
    XSelectInput(display.get(), root, PropertyChangeMask);
    XSync(display.get(), False);
    char* argv[] = {const_cast<char*>("openbox"), const_cast<char*>("--sm-disable"), const_cast<char*>("--config-file"),
                    const_cast<char*>("/nonexistent"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
    if (posix_spawnp(&pid_, "openbox", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid_ <= 0) return;
    // openbox publishes its client list once it has taken over the windows already there,
    // the last step before it serves requests; windows mapped earlier can be lost.
    running_ = waitUntil(display.get(), [&] { return hasProperty(display.get(), root, "_NET_CLIENT_LIST"); });
}

X11WindowManager::~X11WindowManager() {
    if (pid_ <= 0) return;
    DisplayPtr display(XOpenDisplay(nullptr));
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    if (display) clearManagerProperties(display.get());
}

bool X11WindowManager::waitUntilManaged(std::uint32_t window) {
    DisplayPtr display = watching(window);
    return display && waitUntil(display.get(), [&] {
               return wmState(display.get(), window) == NormalState && viewable(display.get(), window);
           });
}

bool X11WindowManager::iconify(std::uint32_t window) {
    DisplayPtr display = watching(window);
    if (!display) return false;
    XIconifyWindow(display.get(), window, DefaultScreen(display.get()));
    XFlush(display.get());
    return waitUntil(display.get(), [&] {
        return wmState(display.get(), window) == IconicState && !viewable(display.get(), window);
    });
}

bool X11WindowManager::restore(std::uint32_t window) {
    DisplayPtr display = watching(window);
    if (!display) return false;
    sendToRoot(display.get(), window, "_NET_ACTIVE_WINDOW", 1, CurrentTime);
    return waitUntil(display.get(), [&] {
        return wmState(display.get(), window) == NormalState && viewable(display.get(), window);
    });
}

bool X11WindowManager::moveToDesktop(std::uint32_t window, unsigned desktop) {
    DisplayPtr display = watching(window);
    if (!display) return false;
    sendToRoot(display.get(), window, "_NET_WM_DESKTOP", long(desktop), 1);
    const long current = cardinalProperty(display.get(), DefaultRootWindow(display.get()), "_NET_CURRENT_DESKTOP", 0);
    return waitUntil(display.get(), [&] {
        return cardinalProperty(display.get(), window, "_NET_WM_DESKTOP", -1) == long(desktop) &&
               viewable(display.get(), window) == (long(desktop) == current);
    });
}

bool X11WindowManager::switchToDesktop(unsigned desktop) {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return false;
    const Window root = DefaultRootWindow(display.get());
    XSelectInput(display.get(), root, PropertyChangeMask);
    XSync(display.get(), False);
    sendToRoot(display.get(), root, "_NET_CURRENT_DESKTOP", long(desktop), CurrentTime);
    return waitUntil(display.get(), [&] {
        return cardinalProperty(display.get(), root, "_NET_CURRENT_DESKTOP", -1) == long(desktop);
    });
}

bool X11WindowManager::keepAbove(std::uint32_t window) {
    DisplayPtr display = watching(window);
    if (!display) return false;
    const Atom above = XInternAtom(display.get(), "_NET_WM_STATE_ABOVE", False);
    sendToRoot(display.get(), window, "_NET_WM_STATE", 1, long(above));  // 1: add
    return waitUntil(display.get(), [&] {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool set = false;
        if (XGetWindowProperty(display.get(), window, XInternAtom(display.get(), "_NET_WM_STATE", False), 0, 64,
                               False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
            data && format == 32) {
            const auto* atoms = reinterpret_cast<const long*>(data);
            for (unsigned long i = 0; i < count && !set; ++i) set = Atom(atoms[i]) == above;
        }
        if (data) XFree(data);
        return set;
    });
}

bool X11WindowManager::activate(std::uint32_t window) {
    {
        DisplayPtr display(XOpenDisplay(nullptr));
        if (!display) return false;
        sendToRoot(display.get(), window, "_NET_ACTIVE_WINDOW", 2, CurrentTime);
    }
    return waitUntilActive(window);
}

bool X11WindowManager::waitUntilActive(std::uint32_t window) {
    DisplayPtr display = watching(window);
    if (!display) return false;
    const Window root = DefaultRootWindow(display.get());
    XSelectInput(display.get(), root, PropertyChangeMask);
    XSync(display.get(), False);
    return waitUntil(display.get(), [&] {
        return cardinalProperty(display.get(), root, "_NET_ACTIVE_WINDOW", 0) == long(window) &&
               viewable(display.get(), window);
    });
}

std::uint32_t X11WindowManager::activeWindow() {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return 0;
    return std::uint32_t(cardinalProperty(display.get(), DefaultRootWindow(display.get()), "_NET_ACTIVE_WINDOW", 0));
}

}  // namespace lumivane::host
