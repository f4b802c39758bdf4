// The window list under a real window manager (openbox on the test X server): a window the
// manager hides, minimised or on another desktop, is still the user's window.

#include "capture/WindowEnumerator.h"

#include "TestWindowProcess.h"
#include "X11WindowManager.h"
#include "XTestHelpers.h"

#include <gtest/gtest.h>

#include <optional>

namespace lumivane::host {
namespace {

std::optional<protocol::WindowInfo> listed(std::uint32_t id) {
    WindowEnumerator enumerator(WindowSystem::create());
    for (auto& info : enumerator.enumerateWindows()) {
        if (info.id == id) return info;
    }
    return std::nullopt;
}

// Listed, shown as visible, and minimised or not as expected.
::testing::AssertionResult listedAs(std::uint32_t id, bool minimized) {
    const auto info = listed(id);
    if (!info) return ::testing::AssertionFailure() << "window " << std::hex << id << " is not listed";
    if (!info->isVisible) return ::testing::AssertionFailure() << info->title << " is listed as invisible";
    if (info->isMinimized != minimized)
        return ::testing::AssertionFailure() << info->title << " has isMinimized " << info->isMinimized;
    return ::testing::AssertionSuccess();
}

TEST(X11ManagedWindowListTest, WindowsTheManagerHidesStayListedAsMinimized) {
    ASSERT_TRUE(holdDisplayOpen()) << "cannot open DISPLAY";
    X11WindowManager manager;
    ASSERT_TRUE(manager.running()) << "openbox did not start";
    TestWindowProcess first({"--title", "Managed first", "--x", "100", "--y", "100"});
    TestWindowProcess second({"--title", "Managed second", "--x", "600", "--y", "100"});
    const std::uint32_t a = first.waitForWindow(), b = second.waitForWindow();
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_TRUE(manager.waitUntilManaged(a));
    ASSERT_TRUE(manager.waitUntilManaged(b));
    EXPECT_TRUE(listedAs(a, false));
    EXPECT_TRUE(listedAs(b, false));

    ASSERT_TRUE(manager.iconify(a));  // WM_CHANGE_STATE, as a minimise button sends it
    EXPECT_TRUE(listedAs(a, true)) << "minimised";
    ASSERT_TRUE(manager.moveToDesktop(b, 1));
    EXPECT_TRUE(listedAs(b, true)) << "sent to another desktop";

    ASSERT_TRUE(manager.restore(a));
    EXPECT_TRUE(listedAs(a, false)) << "restored";
    ASSERT_TRUE(manager.switchToDesktop(1));
    EXPECT_TRUE(listedAs(a, true)) << "left behind on the first desktop";
    EXPECT_TRUE(listedAs(b, false)) << "on the desktop now shown";
    ASSERT_TRUE(manager.switchToDesktop(0));
    EXPECT_TRUE(listedAs(a, false)) << "back on the desktop shown";
}

}  // namespace
}  // namespace lumivane::host
