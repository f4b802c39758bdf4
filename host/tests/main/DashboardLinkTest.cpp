// The dashboard linked to an application over fake capture, encoders, audio and input with
// its real servers on loopback: what the dashboard shows and what its edits and clicks do.

#include "main/DashboardLink.h"

#include "app/ApplicationTestSupport.h"
#include "capture/WindowEnumerator.h"
#include "fakes/TempConfigHome.h"
#include "network/SignalingTestSupport.h"
#include "ui/HeadlessUIBackend.h"
#include "ui/SettingsRules.h"
#include "ui/UIManager.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace lumivane::host {
namespace {

using namespace apptest;
using nlohmann::json;

class DashboardLinkTest : public ::testing::Test {
protected:
    TempConfigHome configHome_{"dashboardlink"};

    DashboardLinkTest() {
        std::filesystem::create_directories(settingsPath().parent_path());
        std::ofstream(settingsPath()) << R"({"signalingPort":0,"videoPort":0,"audioPort":0,"inputPort":0,)"
                                         R"("targetBitrate":25000,"maxBitrate":40000,"targetFps":60})";
        // As the entry does: in the logger before the application's threads start.
        spdlog::default_logger()->sinks().push_back(sink);
    }
    ~DashboardLinkTest() override {
        link.reset();
        ui.reset();
        app.reset();
    }

    std::filesystem::path settingsPath() const { return configHome_.settingsPath(); }

    ApplicationServices services() {
        ApplicationServices s;
        s.createOrchestrator = [this] {
            return std::make_unique<CaptureOrchestrator>(
                [] { return std::make_unique<MemoryGpuDevice>(); },
                [](std::uint32_t) {
                    return std::make_unique<WindowCapture>(
                        std::make_unique<FakeCaptureSource>(FakeCaptureSource::Script{},
                                                            std::make_shared<FakeCaptureSource::Record>()),
                        oneWindow());
                },
                oneWindow(), std::make_unique<WindowEnumerator>(oneWindow()), encoders);
        };
        s.createAudioSource = [] { return std::make_unique<FakeAudioSource>(); };
        s.createInputSink = [] { return std::make_unique<LockedInputSink>(); };
        s.hostName = [] { return std::string("test-host"); };
        s.discoveryPort = 0;
        return s;
    }

    void start() {
        app = std::make_unique<Application>(services());
        ASSERT_TRUE(app->initialize());
        ui = std::make_unique<UIManager>(std::make_unique<HeadlessUIBackend>(headless));
        ASSERT_TRUE(ui->initialize());
        link = std::make_unique<DashboardLink>(*ui, *app, sink);
    }

    bool dashboardLogHas(const std::string& text) const {
        for (const LogEntry& entry : ui->logBuffer().snapshot())
            if (entry.message.find(text) != std::string::npos) return true;
        return false;
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) ui->render();
    }
    // Hover, press and release over separate frames, as ImGui needs to see a click.
    void click(ImVec2 at) {
        headless.mouse = at;
        frames(2);
        headless.mouseDown = true;
        frames(1);
        headless.mouseDown = false;
        frames(1);
        headless.mouse.reset();
        frames(1);
    }
    ImVec2 firstWindowRow() const {
        for (ImGuiWindow* window : GImGui->Windows)
            if (std::string(window->Name).find("/WindowList_") != std::string::npos)
                return {window->Pos.x + 100, window->Pos.y + window->WindowPadding.y + 5 + 28};
        ADD_FAILURE() << "no window list drawn";
        return {};
    }

    test::LogCapture log;
    std::shared_ptr<UISinkMt> sink = std::make_shared<UISinkMt>();
    SpyEncoderPlatform encoders;
    HeadlessState headless;
    std::unique_ptr<Application> app;
    std::unique_ptr<UIManager> ui;
    std::unique_ptr<DashboardLink> link;

private:
};

TEST_F(DashboardLinkTest, StartUpFillsTheDashboardAndRoutesTheLogUntilTheLinkGoes) {
    start();
    const ListeningPorts ports = app->getListeningPorts();
    const UISettings& shown = ui->uiSettings;
    EXPECT_EQ(shown.signalingPort, ports.signaling) << "the port listened on, not the file's 0";
    EXPECT_NE(shown.signalingPort, 0);
    EXPECT_EQ(shown.videoPort, ports.video);
    EXPECT_EQ(shown.audioPort, ports.audio);
    EXPECT_EQ(shown.inputPort, ports.input);
    EXPECT_EQ(shown.targetFps, 60);
    EXPECT_EQ(shown.targetBitrate, 25000);
    EXPECT_EQ(shown.maxBitrate, 40000);
    EXPECT_EQ(shown.qualityPreset, customPresetIndex) << "25 Mbps is none of the named presets";
    EXPECT_EQ(shown.codec, "h264") << "fields the application has no say in keep their initial values";
    EXPECT_TRUE(log.waitFor("UI initialized with settings: bitrate=25000 kbps, fps=60, ports=" +
                            std::to_string(ports.signaling) + "/" + std::to_string(ports.video) + "/" +
                            std::to_string(ports.audio) + "/" + std::to_string(ports.input)));

    EXPECT_EQ(ui->systemInfo.gpuName, app->getGpuName());
    EXPECT_NE(ui->systemInfo.gpuName, "Detecting...");
    EXPECT_EQ(ui->systemInfo.encoderName, app->getEncoderName());
    EXPECT_NE(ui->systemInfo.encoderName, "None");
    EXPECT_TRUE(ui->systemInfo.wgcSupported);

    EXPECT_TRUE(dashboardLogHas("UI log sink attached"));
    spdlog::default_logger()->log(spdlog::level::off, "a line at the off level");
    const auto entries = ui->logBuffer().snapshot();
    ASSERT_FALSE(entries.empty());
    EXPECT_NE(entries.back().message.find("a line at the off level"), std::string::npos);
    EXPECT_EQ(entries.back().level, 2) << "shown as info";

    link.reset();
    LV_WARN("after the link is gone");
    EXPECT_TRUE(log.waitFor("after the link is gone"));
    EXPECT_FALSE(dashboardLogHas("after the link is gone"));
}

TEST_F(DashboardLinkTest, LoadedTargetBitrateOfANamedPresetSelectsIt) {
    std::ofstream(settingsPath()) << R"({"signalingPort":0,"videoPort":0,"audioPort":0,"inputPort":0,)"
                                     R"("targetBitrate":20000,"maxBitrate":50000})";
    start();
    EXPECT_EQ(qualityPresets()[std::size_t(ui->uiSettings.qualityPreset)].targetBitrate, 20000);
    EXPECT_EQ(ui->uiSettings.maxBitrate, 50000) << "the peak stays as loaded";
}

TEST_F(DashboardLinkTest, SettingsEditsReachRunningEncodersAndTheSettingsFile) {
    start();
    sigtest::WsClient headset(app->getListeningPorts().signaling);
    ASSERT_NE(headset.request(R"({"type":"hello"})").find("welcome"), std::string::npos);
    const json started = json::parse(
        headset.request(R"({"type":"stream_start","windowId":)" + std::to_string(kWindow) + "}"));
    ASSERT_EQ(started.value("type", ""), "stream_started") << started.dump();

    // What the bitrate slider hands over when moved to 30 Mbps at 90 Hz.
    UISettings edited = ui->uiSettings;
    edited.qualityPreset = 4;
    edited.targetFps = 90;
    edited.targetBitrate = 30000;
    edited.maxBitrate = 45000;
    ASSERT_TRUE(ui->onSettingsChanged);
    ui->onSettingsChanged(edited);

    EXPECT_TRUE(log.waitFor("Settings changed - FPS: 90, Bitrate: 30000 kbps"));
    ASSERT_TRUE(encoders.bitrates.waitFor(1));
    EXPECT_EQ(encoders.bitrates.changes().back(), std::make_pair(30000u, 45000u));
    const json saved = json::parse(std::ifstream(settingsPath()));
    EXPECT_EQ(saved["targetFps"], 90);
    EXPECT_EQ(saved["targetBitrate"], 30000);
    EXPECT_EQ(saved["maxBitrate"], 45000);
    EXPECT_EQ(app->getSettings().targetFps, 90u);
}

TEST_F(DashboardLinkTest, WindowListArrivesWhenFetchedAndRowClicksDriveTheApplication) {
    start();
    link->refresh(false);
    EXPECT_TRUE(ui->windowEntries().empty()) << "the list is fetched only when asked";
    EXPECT_TRUE(link->refresh(true)) << "a new list needs drawing";
    ASSERT_EQ(ui->windowEntries().size(), 1u);
    EXPECT_EQ(ui->windowEntries()[0].title, "Test Editor");
    EXPECT_FALSE(link->refresh(true)) << "the same list again changes nothing";

    frames(2);
    click(firstWindowRow());
    EXPECT_TRUE(log.waitFor("Start capture requested for window " + std::to_string(kWindow) + " on stream 1"));
    EXPECT_TRUE(log.waitFor("Started capture for window " + std::to_string(kWindow) + " on stream 1"));
    ASSERT_TRUE(ui->windowEntries()[0].streaming) << log.count("Started capture");

    // Refreshes keep the row's streaming state.
    link->refresh(true);
    ASSERT_TRUE(ui->windowEntries()[0].streaming);
    frames(2);
    click(firstWindowRow());
    EXPECT_TRUE(log.waitFor("Stop capture requested for stream 1"));
    EXPECT_TRUE(log.waitFor("Stopped capture on stream 1"));
    EXPECT_FALSE(ui->windowEntries()[0].streaming);
}

TEST_F(DashboardLinkTest, StatusBarRecordCarriesTheMeasuredClientStatistics) {
    start();
    link->refresh(false);
    EXPECT_FALSE(link->refresh(false)) << "nothing new to draw";
    EXPECT_EQ(ui->clientStatus.connected, false);
    EXPECT_EQ(ui->clientStatus.clientName, "");

    sigtest::WsClient headset(app->getListeningPorts().signaling);
    ASSERT_NE(headset.request(R"({"type":"hello","name":"Lab Headset"})").find("welcome"), std::string::npos);
    test::TestClient video(app->getListeningPorts().video);
    ASSERT_TRUE(log.waitFor("TCP client connected from"));
    ASSERT_TRUE(video.write(feedbackMessage(3, 27)));
    ASSERT_TRUE(test::eventually([&] { return app->getClientStatistics().latencyMs == 27.0f; }));

    EXPECT_TRUE(link->refresh(false)) << "a changed status needs drawing";
    const ClientStatus& status = ui->clientStatus;
    EXPECT_TRUE(status.connected);
    EXPECT_EQ(status.clientName, "Lab Headset");
    EXPECT_EQ(status.clientAddress, app->getClientStatistics().clientAddress);
    EXPECT_EQ(status.latencyMs, 27.0f) << "measured, not a fixed display value";
    EXPECT_EQ(status.fps, 0) << "nothing streamed yet";
    EXPECT_EQ(status.bitrateMbps, 0.0f);
}

}  // namespace
}  // namespace lumivane::host
