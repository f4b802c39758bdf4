// The dashboard drawn by OpenGL into a real X window and read back: checks what a person
// would see, by colour regions rather than exact pictures so font hinting cannot break them.

#include "ui/screenshot/UIRenderHarness.h"

#include "fakes/LogCapture.h"
#include "ui/DashboardPixels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace lumivane::host {
namespace {

using namespace dashboard;

::testing::AssertionResult hasColour(const Picture& frame, int x, int y, Rgb c) {
    const auto p = frame.at(x, y);
    if (near(p, c)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << int(p.r) << "," << int(p.g) << ","
                                         << int(p.b) << ", expected " << c.r << "," << c.g << "," << c.b;
}

Rgb toRgb(Picture::Pixel p) { return {p.r, p.g, p.b}; }

protocol::WindowInfo window(std::uint32_t id, const std::string& title, const std::string& process) {
    protocol::WindowInfo info;
    info.id = id;
    info.title = title;
    info.processName = process;
    return info;
}

class UIScreenshotTest : public ::testing::Test {
protected:
    void open(int width = 1400, int height = 900) {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
        harness = UIRenderHarness::create(width, height);
        ASSERT_NE(harness, nullptr) << log.text();
        this->width = width;
        this->height = height;
    }
    UIManager& ui() { return harness->ui(); }

    // The window list's inside, clear of its border and rounded corners.
    Box listInside() {
        const auto list = harness->findChild("WindowList");
        EXPECT_TRUE(list.has_value());
        if (!list) return {0, 0, 0, 0};
        return {int(list->position.x) + 14, int(list->position.y) + 4, int(list->position.x + list->size.x) - 14,
                int(list->position.y + list->size.y) - 4};
    }

    LogCapture log;
    std::unique_ptr<UIRenderHarness> harness;
    int width = 0;
    int height = 0;
};

TEST_F(UIScreenshotTest, ShellColoursAndOneHighlightedNavigationButtonPerPage) {
    open();
    int previousTop = -1;
    for (int page = 0; page < UIManager::PageCount; ++page) {
        ui().setCurrentPage(page);
        const Picture frame = harness->renderFrames();
        EXPECT_TRUE(hasColour(frame, 5, 600, sidebar)) << "sidebar, page " << page;
        EXPECT_TRUE(hasColour(frame, 700, height - 5, sidebar)) << "status bar, page " << page;
        // Left of where a scrollbar appears on the taller pages.
        EXPECT_TRUE(hasColour(frame, width - 20, 150, background)) << "content, page " << page;

        const auto highlighted = rowBands(frame, {240, 0, 241, height - 56}, [](auto p) { return near(p, primary); });
        ASSERT_EQ(highlighted.size(), 1u) << "page " << page;
        const int buttonHeight = highlighted[0].length();
        EXPECT_GE(buttonHeight, 40);
        EXPECT_LE(buttonHeight, 48);
        EXPECT_GT(highlighted[0].begin, previousTop) << "buttons run down in page order";
        previousTop = highlighted[0].begin;
    }
    EXPECT_GT(previousTop, height - 56 - 80) << "About sits at the foot of the sidebar";
}

TEST_F(UIScreenshotTest, WindowListShowsOneRowPerWindowAndHighlightsTheStreamingOne) {
    open();
    ui().onStartCapture = [](std::uint32_t, std::uint8_t) { return true; };
    ui().setWindowList({window(1, "Design review - Notes", "notes"), window(2, "Media Player", "player"),
                        window(3, "Terminal", "xterm")});
    harness->renderFrames(2);
    const auto list = harness->findChild("WindowList");
    ASSERT_TRUE(list.has_value());
    const int left = int(list->position.x);
    const int rowTop = int(list->position.y + list->padding.y) + 5;
    harness->click({float(left + 150), float(rowTop + 61 + 28)});
    ASSERT_TRUE(ui().windowEntries()[1].streaming);

    const Picture frame = harness->renderFrames();
    const Box inside = listInside();
    const auto titles = rowBands(frame, {left + 20, inside.y0, left + 400, inside.y1}, isBright);
    EXPECT_EQ(titles.size(), 3u) << "one bright title line per window";

    const int rowRight = left + 10 + int(list->size.x) - 30;
    for (int row = 0; row < 3; ++row) {
        const int top = rowTop + row * 61;
        const Box status{rowRight - 110, top, rowRight, top + 56};
        if (row == 1) {
            EXPECT_TRUE(hasColour(frame, rowRight - 10, top + 52, item)) << "streaming row is highlighted";
            EXPECT_GT(countPixels(frame, status, isGreen), 20) << "\"Streaming\" in green";
        } else {
            EXPECT_TRUE(hasColour(frame, rowRight - 10, top + 52, card)) << "row " << row << " is plain";
            EXPECT_EQ(countPixels(frame, status, isGreen), 0) << "row " << row << " is \"Ready\"";
            EXPECT_GT(countPixels(frame, status, [](auto p) { return !near(p, card, 6); }), 20);
        }
    }
}

TEST_F(UIScreenshotTest, EmptyWindowListShowsTwoCentredHintLines) {
    open();
    harness->renderFrames(2);
    const Picture frame = harness->renderFrames();
    const Box inside = listInside();
    auto isText = [](auto p) { return !near(p, card, 6); };
    const auto lines = rowBands(frame, inside, isText);
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    const int centre = (inside.x0 + inside.x1) / 2;
    for (const auto& [top, bottom] : lines) {
        int minX = inside.x1;
        int maxX = inside.x0;
        for (int y = top; y < bottom; ++y)
            for (int x = inside.x0; x < inside.x1; ++x)
                if (isText(frame.at(x, y))) minX = std::min(minX, x), maxX = std::max(maxX, x);
        EXPECT_NEAR((minX + maxX) / 2, centre, 4) << "line at y=" << top;
        EXPECT_GT(maxX - minX, 200);
    }
}

TEST_F(UIScreenshotTest, StatusBarWaitsForAClientThenShowsItsValues) {
    open();
    ui().systemInfo.encoderName = "None";
    const int dotY = height - 56 + 26;
    const Box statusText{45, height - 56, 400, height};
    const Box values{width - 400, height - 56, width - 20, height};

    const Picture waiting = harness->renderFrames();
    EXPECT_TRUE(hasColour(waiting, 31, dotY, waitingDot));
    EXPECT_EQ(countPixels(waiting, statusText, isGreen), 0);
    EXPECT_GT(countPixels(waiting, statusText, [](auto p) { return !near(p, sidebar, 6); }), 50)
        << "\"Waiting for client...\"";
    EXPECT_GT(countPixels(waiting, values, isYellow), 20) << "encoder \"None\" as a warning";

    ui().clientStatus = ClientStatus{true, "Meta Quest", "", 72, 18.0f, 50.0f};
    const Picture connected = harness->renderFrames();
    EXPECT_TRUE(hasColour(connected, 31, dotY, connectedDot));
    EXPECT_GT(countPixels(connected, statusText, isGreen), 50) << "\"Connected to Meta Quest\"";
    EXPECT_EQ(countPixels(connected, values, isYellow), 0);
    EXPECT_GT(countPixels(connected, values, isBright), 50) << "frame rate, latency and bitrate";

    ui().clientStatus.fps = 90;
    ui().clientStatus.latencyMs = 7.5f;
    const Picture changed = harness->renderFrames();
    int differing = 0;
    for (int y = values.y0; y < values.y1; ++y)
        for (int x = values.x0; x < values.x1; ++x)
            differing += near(changed.at(x, y), toRgb(connected.at(x, y)), 0) ? 0 : 1;
    EXPECT_GT(differing, 20) << "the values are drawn from the status record";
}

TEST_F(UIScreenshotTest, SmallWindowKeepsSidebarWidthAndStatusBarHeight) {
    open(800, 600);
    ui().setCurrentPage(UIManager::Input);
    const Picture frame = harness->renderFrames();
    EXPECT_TRUE(hasColour(frame, 259, 300, sidebar));
    EXPECT_TRUE(hasColour(frame, 260, 300, background)) << "content is 540 wide from x=260";
    EXPECT_TRUE(hasColour(frame, 700, 543, background));
    EXPECT_TRUE(hasColour(frame, 700, 544, sidebar)) << "status bar starts at y=544";
}

}  // namespace
}  // namespace lumivane::host
