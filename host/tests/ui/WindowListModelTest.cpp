#include "ui/WindowListModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumivane::host {
namespace {

protocol::WindowInfo window(std::uint32_t id, const std::string& title, const std::string& process = "app") {
    protocol::WindowInfo info;
    info.id = id;
    info.title = title;
    info.processName = process;
    return info;
}

class WindowListModelTest : public ::testing::Test {
protected:
    WindowListModel model;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> starts;
    std::vector<std::uint8_t> stops;
    bool startSucceeds = true;

    WindowListModel::StartCapture start = [this](std::uint32_t windowId, std::uint8_t streamId) {
        starts.emplace_back(windowId, streamId);
        return startSucceeds;
    };
    WindowListModel::StopCapture stop = [this](std::uint8_t streamId) { stops.push_back(streamId); };

    void click(std::size_t index) { model.click(index, start, stop); }
};

TEST_F(WindowListModelTest, RefreshKeepsStreamingStateByWindowIdAndDropsClosedWindows) {
    model.setWindowList({window(10, "Editor"), window(20, "Player"), window(30, "Shell")});
    click(1);
    ASSERT_TRUE(model.entries()[1].streaming);

    model.setWindowList({window(30, "Shell 2", "zsh"), window(20, "Player - paused"), window(40, "New")});
    const auto& entries = model.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (WindowEntry{30, "Shell 2", "zsh", false, 0}));
    EXPECT_EQ(entries[1], (WindowEntry{20, "Player - paused", "app", true, 1}));
    EXPECT_EQ(entries[2], (WindowEntry{40, "New", "app", false, 0}));

    // Closed, then back under the same id: its old state went with it.
    model.setWindowList({window(30, "Shell")});
    model.setWindowList({window(30, "Shell"), window(20, "Player")});
    EXPECT_FALSE(model.entries()[1].streaming);
    EXPECT_EQ(model.entries()[1].streamId, 0);
}

TEST_F(WindowListModelTest, StartsTakeTheDashboardsOwnIdsInOrderAndStopsFreeTheRow) {
    model.setWindowList({window(10, "A"), window(20, "B"), window(30, "C")});
    click(2);
    click(0);
    EXPECT_EQ(starts, (std::vector<std::pair<std::uint32_t, std::uint8_t>>{{30, 1}, {10, 2}}));
    EXPECT_EQ(model.entries()[2].streamId, 1);
    EXPECT_EQ(model.entries()[0].streamId, 2);

    click(2);
    EXPECT_EQ(stops, (std::vector<std::uint8_t>{1}));
    EXPECT_FALSE(model.entries()[2].streaming);
    EXPECT_EQ(model.entries()[2].streamId, 0);

    click(2);  // ids are never reused, whatever was stopped
    EXPECT_EQ(starts.back(), (std::pair<std::uint32_t, std::uint8_t>{30, 3}));
}

TEST_F(WindowListModelTest, FailedOrUnwiredStartUsesUpTheIdAndLeavesTheRowReady) {
    model.setWindowList({window(10, "A")});
    startSucceeds = false;
    click(0);
    EXPECT_FALSE(model.entries()[0].streaming);

    model.click(0, nullptr, nullptr);
    EXPECT_FALSE(model.entries()[0].streaming);
    EXPECT_EQ(model.nextStreamId(), 3);

    startSucceeds = true;
    click(0);
    EXPECT_EQ(starts.back().second, 3);
    EXPECT_TRUE(model.entries()[0].streaming);

    model.click(0, start, nullptr);  // a stop without callback still frees the row
    EXPECT_FALSE(model.entries()[0].streaming);
    EXPECT_TRUE(stops.empty());
}

TEST_F(WindowListModelTest, StreamIdCounterWrapsLikeAByte) {
    model.setWindowList({window(10, "A")});
    startSucceeds = false;
    for (int i = 0; i < 255; ++i) click(0);
    EXPECT_EQ(starts.back().second, 255);
    click(0);
    EXPECT_EQ(starts.back().second, 0);
    click(0);
    EXPECT_EQ(starts.back().second, 1);
}

TEST_F(WindowListModelTest, CallbackThatReplacesTheListDoesNotMarkAnotherWindow) {
    model.setWindowList({window(10, "A"), window(20, "B")});
    click(99);  // out of range: nothing happens
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(model.nextStreamId(), 1);

    model.click(
        1,
        [this](std::uint32_t, std::uint8_t) {
            model.setWindowList({window(30, "C"), window(40, "D")});
            return true;
        },
        stop);
    EXPECT_FALSE(model.entries()[0].streaming);
    EXPECT_FALSE(model.entries()[1].streaming);
}

}  // namespace
}  // namespace lumivane::host
