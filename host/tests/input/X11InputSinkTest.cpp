// Against the Xvfb scripts/test starts: a window owned by the test receives what the
// injector sends through the XTest sink. Events are read on a second connection.

// gtest before Xlib: Xlib macros (None, Bool) break gtest's headers.
#include <gtest/gtest.h>

#include "input/InputInjector.h"
#include "input/x11/X11InputSink.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>

namespace lumivane::host {
namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

class X11InputSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner.reset(XOpenDisplay(nullptr));
        reader.reset(XOpenDisplay(nullptr));
        ASSERT_TRUE(owner && reader) << "no X display";
        window = XCreateSimpleWindow(owner.get(), DefaultRootWindow(owner.get()), 100, 200, 400,
                                     300, 0, 0, 0);
        XSync(owner.get(), False);
        XSelectInput(reader.get(), window,
                     KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                         PointerMotionMask | StructureNotifyMask);
        XSync(reader.get(), False);
        XMapRaised(owner.get(), window);
        XSync(owner.get(), False);
        ASSERT_TRUE(waitFor([](const XEvent& e) { return e.type == MapNotify; }));
        XSetInputFocus(reader.get(), window, RevertToParent, CurrentTime);
        XSync(reader.get(), False);
        auto sink = X11InputSink::open();
        ASSERT_TRUE(sink);
        injector = std::make_unique<InputInjector>(std::move(sink));
        injector->initialize(InputInjectorConfig{});
        injector->setTargetWindow(static_cast<uint32_t>(window));
    }
    void TearDown() override {
        injector.reset();  // restores the keyboard mapping before the window goes
        if (owner && window) XDestroyWindow(owner.get(), window);
        if (owner) XSync(owner.get(), False);
    }

    // Reads events until one matches, for at most 10 s.
    bool waitFor(const std::function<bool(const XEvent&)>& match) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        Display* d = reader.get();
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(d)) {
                XEvent e;
                XNextEvent(d, &e);
                if (e.type == MappingNotify) XRefreshKeyboardMapping(&e.xmapping);
                if (match(e)) return true;
            }
            pollfd pfd{ConnectionNumber(d), POLLIN, 0};
            poll(&pfd, 1, 100);
        }
        return false;
    }
    bool waitForKeysym(KeySym wanted) {
        return waitFor([&](const XEvent& e) {
            if (e.type != KeyPress) return false;
            XKeyEvent key = e.xkey;
            char buf[16];
            KeySym sym = NoSymbol;
            XLookupString(&key, buf, sizeof buf, &sym, nullptr);
            return sym == wanted;
        });
    }
    bool waitForButton(int type, unsigned button) {
        return waitFor([&](const XEvent& e) { return e.type == type && e.xbutton.button == button; });
    }

    DisplayPtr owner, reader;
    Window window = 0;
    std::unique_ptr<InputInjector> injector;
};

TEST_F(X11InputSinkTest, MovesLandOnTheMappedPixel) {
    injector->moveMouse(32768, 32768);
    EXPECT_TRUE(waitFor([](const XEvent& e) {
        return e.type == MotionNotify && std::abs(e.xmotion.x - 200) <= 1 &&
               std::abs(e.xmotion.y - 150) <= 1;
    }));
    injector->moveMouse(0, 0);
    EXPECT_TRUE(waitFor([](const XEvent& e) {
        return e.type == MotionNotify && e.xmotion.x == 0 && e.xmotion.y == 0;
    }));
}

TEST_F(X11InputSinkTest, ButtonsAndWheelArrive) {
    injector->moveMouse(10000, 10000);
    const unsigned expected[] = {1, 3, 2, 8, 9};
    for (uint8_t b = 0; b < 5; ++b) {
        injector->mouseButton(b, true);
        EXPECT_TRUE(waitForButton(ButtonPress, expected[b])) << int(b);
        injector->mouseButton(b, false);
        EXPECT_TRUE(waitForButton(ButtonRelease, expected[b])) << int(b);
    }
    injector->processEvent(InjectorEvent{1, 4, 10000, 10000, 0, 0, 240});
    int ups = 0;
    EXPECT_TRUE(waitFor([&](const XEvent& e) {
        ups += e.type == ButtonPress && e.xbutton.button == 4;
        return ups == 2;
    }));
    // Two half notches make one click down.
    injector->mouseWheel(-60);
    injector->mouseWheel(-60);
    EXPECT_TRUE(waitForButton(ButtonPress, 5));
}

TEST_F(X11InputSinkTest, KeysWithModifiersArrive) {
    injector->keyEvent('A', true, 1);
    EXPECT_TRUE(waitForKeysym(XK_A));
    injector->keyEvent('A', false, 0);
    EXPECT_TRUE(waitFor([](const XEvent& e) {
        return e.type == KeyRelease && e.xkey.keycode == XKeysymToKeycode(e.xkey.display, XK_Shift_L);
    }));
    const std::pair<uint8_t, KeySym> keys[] = {
        {'7', XK_7}, {13, XK_Return}, {46, XK_Delete}, {37, XK_Left}, {113, XK_F2},
        {190, XK_period}, {106, XK_KP_Multiply}};
    for (const auto& [vk, sym] : keys) {
        injector->keyEvent(vk, true, 0);
        injector->keyEvent(vk, false, 0);
        EXPECT_TRUE(waitForKeysym(sym)) << int(vk);
    }
}

TEST_F(X11InputSinkTest, ResizeGivesTheClientSizeAndHonoursMinimum) {
    ASSERT_TRUE(injector->resizeWindow(window, 640, 480, true));
    EXPECT_TRUE(waitFor([](const XEvent& e) {
        return e.type == ConfigureNotify && e.xconfigure.width == 640 && e.xconfigure.height == 480;
    }));
    XSizeHints hints{};
    hints.flags = PMinSize;
    hints.min_width = 1500;
    hints.min_height = 400;
    XSetWMNormalHints(owner.get(), window, &hints);
    XSync(owner.get(), False);
    ASSERT_TRUE(injector->resizeWindow(window, 1280, 720, false));
    EXPECT_TRUE(waitFor([](const XEvent& e) {
        return e.type == ConfigureNotify && e.xconfigure.width == 1500 &&
               e.xconfigure.height == 720 && e.xconfigure.x == 210 && e.xconfigure.y == 180;
    }));
}

TEST_F(X11InputSinkTest, ResizeOfAClosedWindowFails) {
    const Window gone = XCreateSimpleWindow(owner.get(), DefaultRootWindow(owner.get()), 0, 0,
                                            10, 10, 0, 0, 0);
    XDestroyWindow(owner.get(), gone);
    XSync(owner.get(), False);
    EXPECT_FALSE(injector->resizeWindow(gone, 100, 100, true));
    EXPECT_FALSE(injector->resizeWindow(0, 100, 100, true));
}

}  // namespace
}  // namespace lumivane::host
