// The dashboard of the real lumivane-host as a person sees and uses it: pages opened by
// clicking the sidebar, the window list of real X windows, the status bar before and while
// the reference client streams, and a setting clicked on the dashboard reaching the file.
// Checked by colour regions of the host's own window, so font hinting cannot break them.

#include "DashboardActions.h"
#include "DashboardPicture.h"
#include "RunningHost.h"

#include "capture/WindowEnumerator.h"
#include "capture/WindowSystem.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>

namespace lumivane::host {
namespace {

using namespace dashboard;
using namespace std::chrono_literals;

::testing::AssertionResult hasColour(const Picture& picture, int x, int y, Rgb c) {
    const auto p = picture.at(x, y);
    if (near(p, c)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << int(p.r) << "," << int(p.g) << ","
                                         << int(p.b) << ", expected " << c.r << "," << c.g << "," << c.b;
}

bool differs(const Picture& a, const Picture& b, Box box) {
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) {
            const auto p = a.at(x, y);
            if (!near(b.at(x, y), {p.r, p.g, p.b}, 0)) return true;
        }
    return false;
}

// One host for the suite: starting it (and llvmpipe) is most of the time these take.
class DashboardEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("DISPLAY")) return;
        std::string error;
        host = RunningHost::start(RunningHost::Programs::built(), {"Lumivane E2E Alpha", "Lumivane E2E Beta"}, error)
                   .release();
        if (!host) startError = new std::string(error);
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
        delete startError;
        startError = nullptr;
    }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
        ASSERT_NE(host, nullptr) << (startError ? *startError : "");
    }
    HostWindow& window() { return host->window(); }
    // The end of the host's output, for failure messages.
    static std::string hostLog() {
        const std::string all = host->process().output();
        return all.substr(all.size() > 4000 ? all.size() - 4000 : 0);
    }

    // What the host lists, in its order, seen through the same enumerator.
    static std::vector<protocol::WindowInfo> windowsListed() {
        return WindowEnumerator(WindowSystem::create()).enumerateWindows();
    }
    std::optional<Picture> waitForRows(std::size_t count) {
        return window().waitFor(
            [&](const Picture& p) {
                const auto list = windowList(p);
                return list && windowRows(p, *list).size() == count;
            },
            kScreenTimeout);
    }

    static inline RunningHost* host = nullptr;
    static inline std::string* startError = nullptr;
};

TEST_F(DashboardEndToEndTest, EveryPageOpensFromTheSidebarInTheShellColours) {
    for (int page : {1, 2, 3, 4, 5, 6, 0}) {
        const auto shown = showPage(window(), page);
        ASSERT_TRUE(shown) << "page " << page << " never showed selected";
        const Picture& picture = *shown;
        EXPECT_TRUE(hasColour(picture, 5, 600, sidebar)) << "sidebar, page " << page;
        EXPECT_TRUE(hasColour(picture, 700, picture.height - 5, sidebar)) << "status bar, page " << page;
        EXPECT_TRUE(hasColour(picture, picture.width - 20, 150, background)) << "content, page " << page;

        const auto buttons = navigationButtons(picture);
        ASSERT_EQ(buttons.size(), 7u);
        EXPECT_GE(buttons[std::size_t(page)].length(), 40) << "the selected button shows its whole face";
        EXPECT_TRUE(hasColour(picture, kSidebarWidth - 20, buttons[std::size_t(page)].middle(), primary));
        for (int other = 0; other < 7; ++other) {
            if (other == page) continue;
            EXPECT_LT(buttons[std::size_t(other)].length(), 40) << "only the label of " << other;
        }
        EXPECT_GT(buttons[6].begin, picture.height - kStatusBarHeight - 80) << "About sits at the foot";
    }
}

TEST_F(DashboardEndToEndTest, WindowListFollowsRealWindowsAndARowClickStartsAndStopsItsStream) {
    ASSERT_TRUE(showPage(window(), 0));
    ASSERT_GE(windowsListed().size(), 2u);
    ASSERT_TRUE(waitForRows(windowsListed().size())) << "one row per window the host lists";
    ASSERT_TRUE(host->openWindow("Lumivane E2E Gamma"));
    const auto listed = windowsListed();
    const auto shown = waitForRows(listed.size());
    ASSERT_TRUE(shown) << "the list refreshes by itself";

    std::size_t beta = 0;
    while (beta < listed.size() && listed[beta].title != "Lumivane E2E Beta") ++beta;
    ASSERT_LT(beta, listed.size());
    const Box list = *windowList(*shown);
    const Span title = windowRows(*shown, list)[beta];
    const Point face = rowFace(list, title);
    const Box status = rowStatus(list, title);
    auto streaming = [&](const Picture& p) { return countPixels(p, status, isGreen) > 20; };
    EXPECT_FALSE(streaming(*shown));

    std::size_t output = host->process().outputSize();
    ASSERT_TRUE(clickAt(window(), face.x + 200, face.y, hoveredAt(face.x, face.y), streaming))
        << "\"Streaming\" in green on the clicked row";
    EXPECT_TRUE(host->process().waitFor("Start capture requested for window " + std::to_string(listed[beta].id) +
                                            " on stream 1",
                                        10s, output));
    const auto highlighted = window().waitFor([&](const Picture& p) { return near(p.at(face.x, face.y), item); },
                                              kScreenTimeout);
    EXPECT_TRUE(highlighted) << "a streaming row keeps its highlight without the pointer";

    output = host->process().outputSize();
    ASSERT_TRUE(clickAt(window(), face.x + 200, face.y, hoveredAt(face.x, face.y),
                        [&](const Picture& p) { return !streaming(p); }));
    EXPECT_TRUE(host->process().waitFor("Stop capture requested for stream 1", 10s, output));
    EXPECT_TRUE(host->process().waitFor("Stopped capture on stream 1", 10s, output));
}

TEST_F(DashboardEndToEndTest, StatusBarWaitsForAClientThenShowsItsMeasuredValues) {
    ASSERT_TRUE(showPage(window(), 0));
    const auto waiting = window().waitFor([](const Picture&) { return true; }, kScreenTimeout);
    ASSERT_TRUE(waiting);
    EXPECT_TRUE(near(statusDot(*waiting), waitingDot));
    EXPECT_EQ(countPixels(*waiting, statusText(*waiting), isGreen), 0);
    EXPECT_GT(countPixels(*waiting, statusText(*waiting), [](auto p) { return !near(p, sidebar, 6); }), 50)
        << "\"Waiting for client...\"";
    EXPECT_GT(countPixels(*waiting, statusValues(*waiting), isGreen), 20) << "the working encoder's name in green";

    std::string error;
    ASSERT_TRUE(host->startClient("Lumivane E2E Alpha", error)) << error;
    const auto connected = window().waitFor(
        [](const Picture& p) {
            return near(statusDot(p), connectedDot) && countPixels(p, statusText(p), isGreen) > 50 &&
                   countPixels(p, statusValues(p), isBright) > 50;
        },
        kScreenTimeout);
    ASSERT_TRUE(connected) << "\"Connected to ...\" with frame rate, latency and bitrate";
    // Fixed display values would never change; measured ones move with the stream.
    EXPECT_TRUE(window().waitFor([&](const Picture& p) { return differs(*connected, p, statusValues(p)); }, 30s))
        << "the status values stay the same while the client streams";

    host->stopClient();
    EXPECT_TRUE(window().waitFor([](const Picture& p) { return near(statusDot(p), waitingDot); }, kScreenTimeout))
        << "back to waiting once the client has gone";
}

TEST_F(DashboardEndToEndTest, FrameRateClickedOnTheStreamingPageReachesTheSettingsFile) {
    const auto streaming = showPage(window(), 1);
    ASSERT_TRUE(streaming) << hostLog();
    const ButtonRow before = frameRateButtons(*streaming);
    ASSERT_EQ(before.buttons.size(), 4u);
    EXPECT_EQ(before.selected, 0) << "72 Hz, the settings' default";

    const std::size_t hostOutput = host->process().outputSize();
    const Span ninety = before.buttons[2];
    ASSERT_TRUE(clickAt(window(), ninety.middle(), before.y + 15, hoveredAt(ninety.begin + 3, before.y),
                        [](const Picture& p) { return frameRateButtons(p).selected == 2; }));
    ASSERT_TRUE(host->process().waitFor("Settings changed - FPS: 90", 10s, hostOutput));
    ASSERT_TRUE(host->process().waitFor("Applying settings:", 10s, hostOutput));
    const auto after = window().waitFor(
        [](const Picture& p) { return frameRateButtons(p).selected == 2 && near(p.at(frameRateButtons(p).buttons[2].begin + 3, frameRateButtons(p).y), primary); },
        kScreenTimeout);
    EXPECT_TRUE(after) << "90 Hz drawn selected";

    const nlohmann::json saved = nlohmann::json::parse(std::ifstream(host->settingsPath()), nullptr, false);
    EXPECT_EQ(saved.value("targetFps", 0), 90) << saved.dump();
}

}  // namespace
}  // namespace lumivane::host
