// What a user of the stream sees: the text a real window reads through its input context,
// and presses and keys reaching the stream's window though another window covers it.
// Against the Xvfb scripts/test starts, without a window manager.

// gtest before Xlib: Xlib macros (None, Bool) break gtest's headers.
#include <gtest/gtest.h>

#include "capture/TestWindowProcess.h"
#include "input/InputInjector.h"
#include "input/x11/X11InputSink.h"

#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <string>

namespace lumivane::host {
namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

class X11FaithfulInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        display.reset(XOpenDisplay(nullptr));
        ASSERT_TRUE(display) << "no X display";
        auto sink = X11InputSink::open();
        ASSERT_TRUE(sink);
        injector = std::make_unique<InputInjector>(std::move(sink));
        injector->initialize(InputInjectorConfig{});
    }

    // Starts a test window at (x, y) and aims the injector at it.
    std::uint32_t startWindow(int x, int y, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--x", std::to_string(x), "--y", std::to_string(y), "--width", "300", "--height", "200"};
        args.insert(args.end(), more.begin(), more.end());
        window = std::make_unique<TestWindowProcess>(std::move(args));
        const auto id = window->waitForWindow();
        if (id) window->waitForLine("frame");  // mapped and painted
        injector->setTargetWindow(id);
        return id;
    }

    // Reads "typed" lines until their text adds up to `expected` (or the deadline passes).
    std::string typedText(const std::string& expected) {
        std::string text;
        while (text.size() < expected.size()) {
            auto line = window->waitForLine("typed ", std::chrono::seconds(20));
            if (!line) break;
            text += line->substr(6);
        }
        return text;
    }

    void typeUtf16(const std::u16string& text) {
        for (char16_t unit : text) injector->typeChar(unit);
    }

    std::unique_ptr<Display, DisplayCloser> display;
    std::unique_ptr<InputInjector> injector;
    std::unique_ptr<TestWindowProcess> window;
};

TEST_F(X11FaithfulInputTest, EveryCharacterArrivesAsTyped) {
    ASSERT_NE(startWindow(600, 300), 0u);
    // Case, Shift symbols, symbols other layouts reach with AltGr, non-Latin letters in both
    // cases, and a character beyond 16 bits.
    typeUtf16(u"AbC !@#~{} \u00C4\u00E9\u00DF\u20AC\u00A7 \u0416\u0436\u03A9\u03C9 \U0001F600");
    injector->typeChar(0xDE00);  // a lone low surrogate types nothing
    typeUtf16(u".");
    // A key of the layout with the client's Shift, and characters while that Shift is held.
    injector->keyEvent('A', true, 1);
    injector->keyEvent('A', false, 1);
    typeUtf16(u"q?");
    injector->keyEvent('A', true, 0);
    injector->keyEvent('A', false, 0);
    const std::string expected = "AbC !@#~{} \xC3\x84\xC3\xA9\xC3\x9F\xE2\x82\xAC\xC2\xA7 "
                                 "\xD0\x96\xD0\xB6\xCE\xA9\xCF\x89 \xF0\x9F\x98\x80.Aq?a";
    EXPECT_EQ(typedText(expected), expected);
}

// The window reads the keys typed while it was busy only afterwards, each in the keyboard
// map of that moment: more characters than the sink has spare keycodes must still arrive
// as typed, not as whatever their keycodes were bound to since.
TEST_F(X11FaithfulInputTest, ABusyWindowReadsEveryCharacterTypedMeanwhileAsTyped) {
    ASSERT_NE(startWindow(600, 300, {"--busy", "300"}), 0u);
    std::u16string text = u"x";
    for (char16_t c = 0x0410; c <= 0x044F; ++c) text += c;  // 64 Cyrillic letters
    typeUtf16(text);
    std::string expected = "x";
    for (char16_t c = 0x0410; c <= 0x044F; ++c) {
        expected += char(0xC0 | (c >> 6));
        expected += char(0x80 | (c & 0x3F));
    }
    EXPECT_EQ(typedText(expected), expected);
}

// The stream's window sits under another one that has the keyboard. Moving the pointer
// over it changes nothing; a click lands in it (not in the covering window) and keys follow.
TEST_F(X11FaithfulInputTest, PressesAndKeysReachACoveredWindowWhileMotionChangesNothing) {
    Display* d = display.get();
    const Window target = startWindow(200, 200);
    ASSERT_NE(target, 0u);
    const Window cover = XCreateSimpleWindow(d, DefaultRootWindow(d), 100, 100, 600, 500, 0, 0, 0);
    XSelectInput(d, cover, ButtonPressMask | KeyPressMask | ExposureMask);
    XMapRaised(d, cover);
    XEvent event;
    XWindowEvent(d, cover, ExposureMask, &event);  // mapped
    XSetInputFocus(d, cover, RevertToParent, CurrentTime);
    XSync(d, False);

    for (std::uint16_t x : {1000, 30000, 32768}) injector->moveMouse(x, 32768);
    XSync(d, False);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    EXPECT_EQ(focus, cover) << "motion alone moved the focus";
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(children[count - 1], cover) << "motion alone restacked the desktop";
    XFree(children);

    injector->processEvent(InjectorEvent{1, 2, 32768, 32768, 0, 0, 0});
    injector->processEvent(InjectorEvent{1, 3, 32768, 32768, 0, 0, 0});
    EXPECT_TRUE(window->waitForLine("button_press button=1 x=150 y=100")) << "the click missed the window";
    typeUtf16(u"k");
    EXPECT_EQ(typedText("k"), "k");
    XSync(d, False);
    EXPECT_FALSE(XCheckWindowEvent(d, cover, ButtonPressMask | KeyPressMask, &event))
        << "the covering window took input meant for the stream's window";
    XDestroyWindow(d, cover);
    XSync(d, False);
}

}  // namespace
}  // namespace lumivane::host
