#include "input/InputInjector.h"

#include "fakes/FakeInputSink.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

namespace lumivane::host {
namespace {

class InputInjectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto owned = std::make_unique<FakeInputSink>();
        sink = owned.get();
        injector = std::make_unique<InputInjector>(std::move(owned));
        injector->initialize(InputInjectorConfig{});
        logs = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(64);
        logs->set_pattern("%v");
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("test", logs));
    }
    bool logged(const std::string& line) {
        for (const auto& l : logs->last_formatted()) {
            if (l.find(line) != std::string::npos) return true;
        }
        return false;
    }

    FakeInputSink* sink = nullptr;
    std::unique_ptr<InputInjector> injector;
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> logs;
};

TEST_F(InputInjectorTest, MapsWindowCoordinatesToVirtualScreen) {
    sink->rect = ScreenRect{100, 200, 1380, 920};
    injector->setTargetWindow(7);
    injector->moveMouse(32768, 0);
    injector->moveMouse(65535, 65535);
    injector->moveMouse(0, 0);
    ASSERT_EQ(sink->records.size(), 3u);
    EXPECT_EQ(sink->records[0].dx, 25258);
    EXPECT_EQ(sink->records[0].dy, 12136);
    EXPECT_EQ(sink->records[0].flags, 0xC001u);
    // The far corner is the window's right/bottom edge, not one pixel inside.
    EXPECT_EQ(sink->records[1].dx, 1380 * 65535 / 1920);
    EXPECT_EQ(sink->records[1].dy, 920 * 65535 / 1080);
    EXPECT_EQ(sink->records[2].dx, 100 * 65535 / 1920);
    EXPECT_EQ(sink->sendCalls, 3);
}

TEST_F(InputInjectorTest, FallsBackToVirtualScreenOrRawValues) {
    injector->moveMouse(1234, 4321);  // no target: passed through
    sink->rectOk = false;
    sink->screen = ScreenMetrics{-1920, 0, 3840, 1080};
    injector->setTargetWindow(9);
    injector->moveMouse(65535, 32768);
    ASSERT_EQ(sink->records.size(), 2u);
    EXPECT_EQ(sink->records[0].dx, 1234);
    EXPECT_EQ(sink->records[0].dy, 4321);
    EXPECT_EQ(sink->records[1].dx, 65535);
    EXPECT_EQ(sink->records[1].dy, (540 * 65535) / 1080);
}

TEST_F(InputInjectorTest, RelativeModeScalesAndTruncates) {
    injector->initialize(InputInjectorConfig{false, 1.5f});
    injector->moveMouse(3, 65535);
    ASSERT_EQ(sink->records.size(), 1u);
    EXPECT_EQ(sink->records[0].flags, MouseFlags::Move);
    EXPECT_EQ(sink->records[0].dx, 4);
    EXPECT_EQ(sink->records[0].dy, 98302);
}

TEST_F(InputInjectorTest, ModifiersFollowTheClientState) {
    injector->keyEvent(65, true, 0b0011);
    injector->keyEvent(65, false, 0);
    ASSERT_EQ(sink->records.size(), 6u);
    const uint16_t vks[] = {16, 17, 65, 16, 17, 65};
    const uint32_t flags[] = {0, 0, 0, KeyFlags::KeyUp, KeyFlags::KeyUp, KeyFlags::KeyUp};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(sink->records[i].vk, vks[i]) << i;
        EXPECT_EQ(sink->records[i].flags, flags[i]) << i;
    }
    EXPECT_EQ(sink->records[0].scan, 0);
    EXPECT_EQ(sink->records[2].scan, 1065);
    // Mouse input and characters leave the held modifiers alone.
    injector->keyEvent(66, true, 0b1000);
    injector->typeChar('x');
    injector->mouseButton(0, true);
    injector->keyEvent(66, false, 0b1000);
    size_t winPresses = 0;
    for (const auto& r : sink->records) winPresses += r.vk == 91;
    EXPECT_EQ(winPresses, 1u);
}

TEST_F(InputInjectorTest, OnlyTheListedKeysAreExtended) {
    for (int vk = 0; vk < 256; ++vk) {
        sink->records.clear();
        injector->keyEvent(static_cast<uint8_t>(vk), true, 0);
        const bool expected = (vk >= 33 && vk <= 40) || vk == 45 || vk == 46 || vk == 111 ||
                              vk == 144 || vk == 163 || vk == 165;
        ASSERT_EQ(sink->records.size(), 1u);
        EXPECT_EQ((sink->records[0].flags & KeyFlags::ExtendedKey) != 0, expected) << vk;
    }
}

TEST_F(InputInjectorTest, CharacterIsPressAndReleaseInSeparateCalls) {
    injector->typeChar(0x00E9);
    ASSERT_EQ(sink->records.size(), 2u);
    EXPECT_EQ(sink->sendCalls, 2);
    EXPECT_EQ(sink->records[0].vk, 0);
    EXPECT_EQ(sink->records[0].scan, 0x00E9);
    EXPECT_EQ(sink->records[0].flags, KeyFlags::Unicode);
    EXPECT_EQ(sink->records[1].flags, KeyFlags::Unicode | KeyFlags::KeyUp);
}

TEST_F(InputInjectorTest, ButtonTableAndWheel) {
    const uint32_t down[] = {0x2, 0x8, 0x20, 0x80, 0x80, 0};
    const uint32_t up[] = {0x4, 0x10, 0x40, 0x100, 0x100, 0};
    const uint32_t data[] = {0, 0, 0, 1, 2, 0};
    for (uint8_t b = 0; b < 6; ++b) {
        sink->records.clear();
        injector->mouseButton(b, true);
        injector->mouseButton(b, false);
        EXPECT_EQ(sink->records[0].flags, down[b]) << int(b);
        EXPECT_EQ(sink->records[1].flags, up[b]) << int(b);
        EXPECT_EQ(sink->records[0].mouseData, data[b]) << int(b);
    }
    sink->records.clear();
    injector->mouseWheel(-240);
    EXPECT_EQ(sink->records[0].flags, MouseFlags::Wheel);
    EXPECT_EQ(sink->records[0].mouseData, 0xFFFFFF10u);
}

TEST_F(InputInjectorTest, ProcessEventDispatches) {
    injector->processEvent(InjectorEvent{1, 2, 10, 20, 4, 0, 0});   // move + X2 down
    injector->processEvent(InjectorEvent{1, 4, 10, 20, 0, 0, 120}); // move + wheel
    injector->processEvent(InjectorEvent{2, 3, 0, 0, 0xE9, 0, 0});  // character
    injector->processEvent(InjectorEvent{2, 1, 0, 0, 46, 1, 0});    // shift + delete
    injector->processEvent(InjectorEvent{1, 9, 0, 0, 0, 0, 0});     // ignored
    injector->processEvent(InjectorEvent{3, 1, 0, 0, 0, 0, 0});     // ignored
    ASSERT_EQ(sink->records.size(), 8u);
    EXPECT_EQ(sink->records[1].flags, MouseFlags::XDown);
    EXPECT_EQ(sink->records[1].mouseData, 2u);
    EXPECT_EQ(sink->records[3].mouseData, 120u);
    EXPECT_EQ(sink->records[4].scan, 0xE9);
    EXPECT_EQ(sink->records[6].vk, 16);
    EXPECT_EQ(sink->records[7].flags, KeyFlags::ExtendedKey);
}

// A covered stream window gets presses and keys only once it is in front: it is brought
// there before the first of them, and not again while it stays there. Motion alone and
// releases never touch the desktop's order.
TEST_F(InputInjectorTest, PressesAndKeysBringTheTargetToTheFrontOnceMotionNever) {
    sink->foreground = 3;  // another window is in front
    injector->setTargetWindow(7);
    for (int i = 0; i < 5; ++i) injector->moveMouse(100, 100);
    injector->mouseButton(0, false);
    injector->keyEvent(65, false, 0);
    EXPECT_TRUE(sink->broughtToFront.empty());

    injector->processEvent(InjectorEvent{1, 2, 10, 10, 0, 0, 0});  // press
    ASSERT_EQ(sink->broughtToFront, std::vector<WindowHandle>{7});
    ASSERT_EQ(sink->records.size(), 9u);
    EXPECT_EQ(sink->records.back().flags, MouseFlags::LeftDown) << "the press follows the raise";
    injector->processEvent(InjectorEvent{1, 3, 10, 10, 0, 0, 0});
    injector->typeChar('a');
    injector->keyEvent(65, true, 1);
    injector->mouseWheel(120);
    EXPECT_EQ(sink->broughtToFront.size(), 1u) << "already in front";

    sink->foreground = 3;  // the user clicked elsewhere on the desktop
    injector->typeChar('b');
    injector->setTargetWindow(8);  // a second stream's window
    injector->mouseWheel(-120);
    injector->keyEvent(66, true, 0);
    EXPECT_EQ(sink->broughtToFront, (std::vector<WindowHandle>{7, 7, 8}));

    sink->frontOk = false;
    sink->foreground = 3;
    injector->typeChar('c');
    EXPECT_TRUE(logged("Could not bring window 8 to the front for input"));
    EXPECT_EQ(sink->records.back().scan, 'c') << "the key is still sent";
}

// A refusal (a modal dialog keeps the keyboard, say) is not asked again for every key:
// keys and the wheel go where the system sends them; the next click tries again.
TEST_F(InputInjectorTest, ARefusedRaiseIsTriedAgainOnTheNextClickNotOnEveryKey) {
    sink->foreground = 3;
    sink->frontOk = false;
    injector->setTargetWindow(7);
    for (char16_t c : u"abc") injector->typeChar(c);
    injector->mouseWheel(120);
    injector->keyEvent(65, true, 0);
    EXPECT_EQ(sink->broughtToFront.size(), 1u);
    EXPECT_EQ(sink->records.back().vk, 65) << "the keys are still sent";

    injector->mouseButton(0, true);
    EXPECT_EQ(sink->broughtToFront.size(), 2u) << "a click tries again";
    injector->setTargetWindow(8);
    injector->typeChar('d');
    EXPECT_EQ(sink->broughtToFront.size(), 3u) << "another stream's window is asked for";

    sink->frontOk = true;
    sink->foreground = 7;  // the user closed the dialog: the window is in front again
    injector->setTargetWindow(7);
    injector->typeChar('e');
    sink->foreground = 3;
    injector->typeChar('f');
    EXPECT_EQ(sink->broughtToFront, (std::vector<WindowHandle>{7, 7, 8, 7})) << "in front once more, asked again";
}

TEST_F(InputInjectorTest, PartialSendIsReported) {
    sink->acceptLimit = 0;
    injector->keyEvent(65, true, 1);
    EXPECT_TRUE(logged("SendInput: sent 0 of 1 inputs"));
    // The modifier state moved on regardless: no second Shift press.
    sink->acceptLimit = 10;
    injector->keyEvent(65, false, 1);
    ASSERT_EQ(sink->records.size(), 1u);
    EXPECT_EQ(sink->records[0].vk, 65);
}

TEST_F(InputInjectorTest, ResizeHonoursMinimumAndPosition) {
    sink->rect = ScreenRect{50, 60, 850, 660};
    sink->minWidth = 1500;
    sink->minHeight = 400;
    EXPECT_TRUE(injector->resizeWindow(5, 1280, 720, true));
    sink->frameWidth = 16;
    sink->frameHeight = 39;
    sink->minWidth = 0;
    EXPECT_TRUE(injector->resizeWindow(5, 1280, 720, false));
    ASSERT_EQ(sink->placements.size(), 2u);
    const auto& kept = sink->placements[0];
    EXPECT_EQ(kept.width, 1500);
    EXPECT_EQ(kept.height, 720);
    EXPECT_EQ(kept.left, 50);
    EXPECT_TRUE(kept.keepPosition);
    const auto& centred = sink->placements[1];
    EXPECT_EQ(centred.width, 1296);
    EXPECT_EQ(centred.height, 759);
    EXPECT_EQ(centred.left, (1920 - 1296) / 2);
    EXPECT_EQ(centred.top, (1080 - 759) / 2);
    EXPECT_TRUE(logged("Window resized to 1296x759 (client: 1280x720)"));
}

TEST_F(InputInjectorTest, ResizeFailuresLeaveTheWindowAlone) {
    EXPECT_FALSE(injector->resizeWindow(0, 100, 100, true));
    sink->windowExists = false;
    EXPECT_FALSE(injector->resizeWindow(5, 100, 100, true));
    EXPECT_TRUE(logged("Invalid window handle for resize"));
    sink->windowExists = true;
    sink->rectOk = false;
    sink->error = 1400;
    EXPECT_FALSE(injector->resizeWindow(5, 100, 100, true));
    EXPECT_TRUE(logged("Failed to get window rect: 1400"));
    sink->rectOk = true;
    sink->placeOk = false;
    EXPECT_FALSE(injector->resizeWindow(5, 100, 100, true));
    EXPECT_TRUE(logged("SetWindowPos failed: 1400"));
}

}  // namespace
}  // namespace lumivane::host
