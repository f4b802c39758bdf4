// The dashboard without a window: ImGui's real frame logic over a headless back end, so
// these run anywhere (and under the sanitizers) and drive the pages as a user would.

#include "ui/UIManager.h"
#include "ui/RedrawPolicy.h"

#include "HeadlessUIBackend.h"
#include "fakes/LogCapture.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace lumivane::host {
namespace {

const std::string dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class UIManagerTest : public ::testing::Test {
protected:
    UIManagerTest() { ui = std::make_unique<UIManager>(std::make_unique<HeadlessUIBackend>(state)); }

    int countLines(const std::string& needle) const {
        const auto lines = log.lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const LogCapture::Line& line) {
            return line.text.find(needle) != std::string::npos;
        }));
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) ui->render();
    }

    // Hover, press and release over three frames, as ImGui needs to see a click.
    void click(ImVec2 at) {
        state.mouse = at;
        frames(2);
        state.mouseDown = true;
        frames(1);
        state.mouseDown = false;
        frames(1);
        state.mouse.reset();
        frames(1);
    }

    // Child windows are named "Parent/Name_ID".
    ImGuiWindow* child(const std::string& name) const {
        for (ImGuiWindow* window : GImGui->Windows)
            if (std::string(window->Name).find("/" + name + "_") != std::string::npos) return window;
        return nullptr;
    }

    static protocol::WindowInfo window(std::uint32_t id, const std::string& title) {
        protocol::WindowInfo info;
        info.id = id;
        info.title = title;
        info.processName = "app";
        return info;
    }

    LogCapture log;
    HeadlessState state;
    std::unique_ptr<UIManager> ui;
};

TEST_F(UIManagerTest, InitializeIsIdempotentAndShutdownReturnsToConstructed) {
    ui->render();
    EXPECT_EQ(state.frames, 0) << "render before initialize draws nothing";

    ASSERT_TRUE(ui->initialize());
    ASSERT_TRUE(ui->initialize());
    EXPECT_EQ(countLines("UI Manager initialized with Lumivane purple theme"), 1);
    EXPECT_EQ(countLines("Detected local IP address: " + ui->localIpAddress()), 1);
    EXPECT_EQ(ui->currentPage(), UIManager::Dashboard);

    ui->uiSettings.targetFps = 90;
    ui->shutdown();
    ui->shutdown();
    EXPECT_EQ(state.shutdowns, 1);
    EXPECT_FALSE(ui->isInitialized());
    EXPECT_EQ(ui->uiSettings.targetFps, 90) << "records survive a shutdown";
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);

    ASSERT_TRUE(ui->initialize());
    frames(2);
    EXPECT_EQ(state.frames, 2);
}

TEST_F(UIManagerTest, FailingBackEndLeavesNoContextBehind) {
    state.failInit = true;
    EXPECT_FALSE(ui->initialize());
    EXPECT_FALSE(ui->isInitialized());
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);
    ui->render();
    EXPECT_EQ(state.frames, 0);
}

TEST_F(UIManagerTest, MissingLogoLogsOneWarningAndTheSidebarStillDraws) {
    ASSERT_TRUE(ui->initialize());
    EXPECT_EQ(countLines("Failed to load logo texture from: /nonexistent/logo.png"), 1);
    EXPECT_TRUE(state.texturesCreated.empty());
    frames(2);
    ui->setCurrentPage(UIManager::About);
    frames(2);
}

TEST_F(UIManagerTest, LogoFromTheFallbackPathBecomesATextureReleasedOnShutdown) {
    state.logoFallback = LUMIVANE_LOGO_PATH;
    ASSERT_TRUE(ui->initialize());
    ASSERT_EQ(state.texturesCreated.size(), 1u);
    EXPECT_EQ(state.texturesCreated[0], (std::pair<int, int>{128, 128}));
    EXPECT_EQ(countLines("Loaded logo texture: 128x128"), 1);
    ui->shutdown();
    EXPECT_EQ(state.texturesDestroyed, 1);
}

TEST_F(UIManagerTest, TextureFailureIsLoggedAndNotFatal) {
    state.logoFallback = LUMIVANE_LOGO_PATH;
    state.failTextures = true;
    ASSERT_TRUE(ui->initialize());
    EXPECT_EQ(countLines("Failed to create logo texture"), 1);
    frames(1);
}

TEST_F(UIManagerTest, FirstReadableFontServesAllThreeSizesElseTheBuiltInOne) {
    ASSERT_TRUE(ui->initialize());
    EXPECT_EQ(ImGui::GetIO().Fonts->Fonts.Size, 1) << "built-in font only";
    ui->shutdown();

    state.fonts = {"/nonexistent/font.ttf", dejaVu};
    ASSERT_TRUE(ui->initialize());
    const ImVector<ImFont*>& fonts = ImGui::GetIO().Fonts->Fonts;
    ASSERT_EQ(fonts.Size, 3);
    EXPECT_EQ(fonts[0]->FontSize, 18);
    EXPECT_EQ(fonts[1]->FontSize, 24);
    EXPECT_EQ(fonts[2]->FontSize, 32);
}

TEST_F(UIManagerTest, EveryPageDrawsConnectedAndWaiting) {
    state.fonts = {dejaVu};
    ASSERT_TRUE(ui->initialize());
    ui->setWindowList({window(1, std::string(300, 'W')), window(2, "\xE2\x9C\x93 done")});
    ui->addLogEntry(3, "a %s %n format string stays text");
    ui->uiSettings.microphoneEnabled = true;
    for (bool connected : {false, true}) {
        ui->clientStatus = connected ? ClientStatus{true, "Meta Quest", "", 72, 18.0f, 50.0f} : ClientStatus{};
        for (int page = 0; page < UIManager::PageCount; ++page) {
            ui->setCurrentPage(page);
            frames(2);
        }
    }
    const std::int32_t shown = ui->currentPage();
    ui->setCurrentPage(42);
    EXPECT_EQ(ui->currentPage(), shown);
}

TEST_F(UIManagerTest, NavigationButtonSelectsItsPage) {
    state.fonts = {dejaVu};
    ASSERT_TRUE(ui->initialize());
    frames(2);
    ImGuiWindow* sidebar = child("Sidebar");
    ASSERT_NE(sidebar, nullptr);
    // Buttons are 48 px high, 64 px apart, the first below the logo area and first bar.
    click({sidebar->Pos.x + 120, sidebar->Pos.y + 189 + 64 + 24});
    EXPECT_EQ(ui->currentPage(), UIManager::Streaming);
    click({sidebar->Pos.x + 120, sidebar->Pos.y + sidebar->Size.y - 40});
    EXPECT_EQ(ui->currentPage(), UIManager::About);
}

TEST_F(UIManagerTest, ClickingRowsStartsAndStopsWithTheDashboardsStreamIds) {
    state.fonts = {dejaVu};
    ASSERT_TRUE(ui->initialize());
    std::vector<std::pair<std::uint32_t, std::uint8_t>> starts;
    std::vector<std::uint8_t> stops;
    ui->onStartCapture = [&](std::uint32_t windowId, std::uint8_t streamId) {
        starts.emplace_back(windowId, streamId);
        return true;
    };
    ui->onStopCapture = [&](std::uint8_t streamId) { stops.push_back(streamId); };
    ui->setWindowList({window(0x51, "First"), window(0x52, "Second")});
    frames(2);
    ImGuiWindow* list = child("WindowList");
    ASSERT_NE(list, nullptr);
    const float firstRowMiddle = list->Pos.y + list->WindowPadding.y + 5 + 28;

    click({list->Pos.x + 100, firstRowMiddle + 61});
    click({list->Pos.x + 100, firstRowMiddle});
    EXPECT_EQ(starts, (std::vector<std::pair<std::uint32_t, std::uint8_t>>{{0x52, 1}, {0x51, 2}}));
    EXPECT_TRUE(ui->windowEntries()[0].streaming);

    click({list->Pos.x + 100, firstRowMiddle + 61});
    EXPECT_EQ(stops, (std::vector<std::uint8_t>{1}));
    EXPECT_FALSE(ui->windowEntries()[1].streaming);
}

TEST_F(UIManagerTest, ClickingALogRowCopiesItsFullLine) {
    state.fonts = {dejaVu};
    ASSERT_TRUE(ui->initialize());
    ui->setCurrentPage(UIManager::Logs);
    ui->addLogEntry(2, "Client connected");
    frames(2);
    ImGuiWindow* scroll = child("LogScroll");
    ASSERT_NE(scroll, nullptr);
    click({scroll->Pos.x + 200, scroll->Pos.y + scroll->WindowPadding.y + 9});
    const std::string timestamp = ui->logBuffer().snapshot().at(0).timestamp;
    EXPECT_EQ(state.clipboard, timestamp + " [INFO]  Client connected");
}

// An idle host draws only the frames RedrawPolicy grants a change; a line logged then must
// be in view once they are drawn, not below the log's fold until the next mouse move.
TEST_F(UIManagerTest, ALineLoggedWhileIdleIsScrolledIntoViewByTheFramesItsChangeDraws) {
    state.fonts = {dejaVu};
    ASSERT_TRUE(ui->initialize());
    ui->setCurrentPage(UIManager::Logs);
    for (int i = 0; i < 200; ++i) ui->addLogEntry(2, "line " + std::to_string(i));
    frames(5);
    ImGuiWindow* scroll = child("LogScroll");
    ASSERT_NE(scroll, nullptr);
    ASSERT_GT(scroll->ScrollMax.y, 0.0f) << "the log must overflow its view";

    ui->addLogEntry(2, "the newest line");
    RedrawPolicy policy(60, RedrawPolicy::Clock::time_point{});
    auto now = RedrawPolicy::Clock::time_point{};
    for (int i = 0; i < 2 * RedrawPolicy::kChangeFrames; ++i) policy.drawn(now);  // past its first frames
    policy.onChange();
    for (int i = 0; i < 100; ++i, now += std::chrono::milliseconds(10)) {
        if (!policy.shouldDraw(now, true, true)) continue;
        ui->render();
        policy.drawn(now);
    }
    // Where the last frame drawn put the end of the newest line, against the view's bottom.
    EXPECT_LE(scroll->DC.CursorMaxPos.y, scroll->InnerClipRect.Max.y + 0.5f) << "the newest line is below the fold";
}

TEST_F(UIManagerTest, LogLinesFromOtherThreadsWhileTheLogsPageDraws) {
    state.fonts = {dejaVu};
    ASSERT_TRUE(ui->initialize());
    ui->setCurrentPage(UIManager::Logs);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) ui->addLogEntry(i % 7, "line " + std::to_string(i));
    });
    for (int i = 0; i < 30; ++i) ui->render();
    stop = true;
    writer.join();
    EXPECT_LE(ui->logBuffer().snapshot().size(), LogBuffer::capacity);
}

}  // namespace
}  // namespace lumivane::host
