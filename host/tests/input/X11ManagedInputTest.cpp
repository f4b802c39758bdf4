// Input aimed at a stream's window under a real window manager (openbox on the test X
// server), which decides stacking and focus itself: a window another one covers, a
// minimised one and one on another desktop come to the front for a click and for keys.

// gtest before Xlib: Xlib macros (None, Bool) break gtest's headers.
#include <gtest/gtest.h>

#include "capture/TestWindowProcess.h"
#include "capture/X11WindowManager.h"
#include "fakes/LogCapture.h"
#include "input/InputInjector.h"
#include "input/x11/X11InputSink.h"

#include <X11/Xlib.h>

#include <memory>
#include <string>

namespace lumivane::host {
namespace {

class X11ManagedInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(manager.running()) << "openbox did not start";
        auto sink = X11InputSink::open();
        ASSERT_TRUE(sink);
        injector = std::make_unique<InputInjector>(std::move(sink));
        injector->initialize(InputInjectorConfig{});
    }

    std::unique_ptr<TestWindowProcess> startWindow(const char* title, int x, int y, int width, int height,
                                                   std::uint32_t& id) {
        auto window = std::make_unique<TestWindowProcess>(
            std::vector<std::string>{"--title", title, "--x", std::to_string(x), "--y", std::to_string(y), "--width",
                                     std::to_string(width), "--height", std::to_string(height)});
        id = window->waitForWindow();
        // Activated as a click would: openbox gives a new window the focus only once it has
        // finished starting.
        if (id && !(manager.waitUntilManaged(id) && manager.activate(id))) id = 0;
        return window;
    }

    // A click in the middle of the stream's window and a typed character reach it.
    ::testing::AssertionResult clickAndTypeReach(TestWindowProcess& window, const char* character) {
        injector->processEvent(InjectorEvent{1, 2, 32768, 32768, 0, 0, 0});
        injector->processEvent(InjectorEvent{1, 3, 32768, 32768, 0, 0, 0});
        if (!window.waitForLine("button_press button=1 x=150 y=100"))
            return ::testing::AssertionFailure() << "the click missed the window";
        injector->typeChar(char16_t(character[0]));
        const auto typed = window.waitForLine("typed ");
        if (!typed || *typed != std::string("typed ") + character)
            return ::testing::AssertionFailure() << "typed text: " << (typed ? *typed : "none");
        return ::testing::AssertionSuccess();
    }

    X11WindowManager manager;
    std::unique_ptr<InputInjector> injector;
};

TEST_F(X11ManagedInputTest, ACoveredWindowComesToTheFrontForAClickButNotForMotion) {
    std::uint32_t target = 0, cover = 0;
    auto window = startWindow("Managed target", 300, 300, 300, 200, target);
    ASSERT_NE(target, 0u);
    auto covering = startWindow("Managed cover", 200, 200, 700, 500, cover);
    ASSERT_NE(cover, 0u);
    injector->setTargetWindow(target);

    for (std::uint16_t x : {1000, 30000, 32768}) injector->moveMouse(x, 32768);
    EXPECT_TRUE(covering->waitForLine("motion ")) << "the pointer never crossed the covering window";
    EXPECT_EQ(manager.activeWindow(), cover) << "motion alone activated the stream's window";

    EXPECT_TRUE(clickAndTypeReach(*window, "k"));
    EXPECT_EQ(manager.activeWindow(), target);
}

TEST_F(X11ManagedInputTest, AMinimisedWindowOrOneOnAnotherDesktopIsShownForInput) {
    std::uint32_t target = 0;
    auto window = startWindow("Managed hidden target", 300, 300, 300, 200, target);
    ASSERT_NE(target, 0u);
    injector->setTargetWindow(target);

    ASSERT_TRUE(manager.iconify(target));
    EXPECT_TRUE(clickAndTypeReach(*window, "m"));
    EXPECT_TRUE(manager.waitUntilManaged(target)) << "still minimised";

    ASSERT_TRUE(manager.moveToDesktop(target, 1));
    EXPECT_TRUE(clickAndTypeReach(*window, "d"));
    EXPECT_TRUE(manager.waitUntilActive(target));
    manager.switchToDesktop(0);
}

// A tooltip the application shows under the pointer (override-redirect) and a window the
// user keeps above all others overlap the stream's window. Nothing can raise it over them:
// a click goes in at once, without a failed attempt to.
TEST_F(X11ManagedInputTest, PopupsAndWindowsKeptAboveDoNotHoldInputUp) {
    std::uint32_t target = 0, above = 0;
    auto window = startWindow("Managed target", 300, 300, 300, 200, target);
    ASSERT_NE(target, 0u);
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    ASSERT_TRUE(display);
    Display* d = display.get();
    int x = 0, y = 0;
    Window child = 0;
    ASSERT_TRUE(XTranslateCoordinates(d, target, DefaultRootWindow(d), 0, 0, &x, &y, &child));

    auto aboveWindow = startWindow("Managed above", x - 100, y - 100, 150, 150, above);
    ASSERT_NE(above, 0u);
    ASSERT_TRUE(manager.keepAbove(above));
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window tooltip = XCreateWindow(d, DefaultRootWindow(d), x + 250, y + 150, 100, 100, 0, CopyFromParent,
                                         InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XSelectInput(d, tooltip, StructureNotifyMask);
    XMapRaised(d, tooltip);
    XEvent event;
    XWindowEvent(d, tooltip, StructureNotifyMask, &event);  // mapped

    LogCapture log;
    injector->setTargetWindow(target);
    EXPECT_TRUE(clickAndTypeReach(*window, "t"));
    EXPECT_FALSE(log.contains("Could not bring window")) << log.text();
    XDestroyWindow(d, tooltip);
    XSync(d, False);
}

}  // namespace
}  // namespace lumivane::host
