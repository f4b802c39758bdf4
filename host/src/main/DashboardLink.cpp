#include "main/DashboardLink.h"

#include "app/Application.h"
#include "ui/SettingsRules.h"
#include "ui/UIManager.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace lumivane::host {
namespace {

// The preset named after the loaded target bitrate, else Custom: the fixed initial "High"
// would say 50 Mbps while the encoders run at whatever the file says.
std::int32_t presetFor(std::int32_t targetBitrate) {
    const auto& presets = qualityPresets();
    for (std::int32_t i = 0; i < customPresetIndex; ++i)
        if (presets[std::size_t(i)].targetBitrate == targetBitrate) return i;
    return customPresetIndex;
}

}  // namespace

DashboardLink::DashboardLink(UIManager& ui, Application& application, std::shared_ptr<UISinkMt> sink)
    : ui_(ui), application_(application), sink_(std::move(sink)) {
    attachLog();
    fillSettings();
    installCallbacks();
    fillSystemInfo();
}

DashboardLink::~DashboardLink() {
    // Waits for a line being handed over right now, so none arrives after this.
    if (sink_) sink_->setCallback({});
}

void DashboardLink::attachLog() {
    if (!sink_) return;
    sink_->setCallback([ui = &ui_](int level, const std::string& line) {
        ui->addLogEntry(level >= 0 && level <= 5 ? level : 2, line);
    });
    LV_INFO("UI log sink attached");
}

void DashboardLink::fillSettings() {
    const Settings& settings = application_.getSettings();
    // The ports really listened on: they differ from the file's only where it asks for any
    // free port (0), and a client needs the real ones.
    const ListeningPorts ports = application_.getListeningPorts();
    UISettings& record = ui_.uiSettings;
    record.signalingPort = ports.signaling;
    record.videoPort = ports.video;
    record.audioPort = ports.audio;
    record.inputPort = ports.input;
    record.targetFps = static_cast<std::int32_t>(settings.targetFps);
    record.targetBitrate = static_cast<std::int32_t>(settings.targetBitrate);
    record.maxBitrate = static_cast<std::int32_t>(settings.maxBitrate);
    record.qualityPreset = presetFor(record.targetBitrate);
    LV_INFO("UI initialized with settings: bitrate={} kbps, fps={}, ports={}/{}/{}/{}", record.targetBitrate,
            record.targetFps, record.signalingPort, record.videoPort, record.audioPort, record.inputPort);
}

void DashboardLink::installCallbacks() {
    Application& application = application_;
    ui_.onSettingsChanged = [&application](const UISettings& settings) {
        LV_INFO("Settings changed - FPS: {}, Bitrate: {} kbps", settings.targetFps, settings.targetBitrate);
        // Its own log line says when the file could not be written.
        application.applySettings(static_cast<std::uint32_t>(settings.targetBitrate),
                                  static_cast<std::uint32_t>(settings.maxBitrate),
                                  static_cast<std::uint32_t>(settings.targetFps));
    };
    ui_.onStartCapture = [&application](std::uint32_t windowId, std::uint8_t streamId) {
        LV_INFO("Start capture requested for window {} on stream {}", windowId, unsigned(streamId));
        return application.startCapture(windowId, streamId);
    };
    ui_.onStopCapture = [&application](std::uint8_t streamId) {
        LV_INFO("Stop capture requested for stream {}", unsigned(streamId));
        application.stopCapture(streamId);
    };
}

void DashboardLink::fillSystemInfo() {
    SystemInfo& info = ui_.systemInfo;
    info.gpuName = application_.getGpuName();
    info.vramMb = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(application_.getVramMb(), std::numeric_limits<std::uint32_t>::max()));
    info.encoderName = application_.getEncoderName();
    info.wgcSupported = true;  // the application does not start without window capture
}

bool DashboardLink::refresh(bool fetchWindowList) {
    bool changed = false;
    auto status = toClientStatus(application_.getClientStatistics());
    if (!(status == ui_.clientStatus)) {
        ui_.clientStatus = std::move(status);
        changed = true;
    }
    if (fetchWindowList) {
        auto windows = application_.getWindowList();
        if (windows != windows_) {
            ui_.setWindowList(windows);
            windows_ = std::move(windows);
            changed = true;
        }
    }
    const auto lines = ui_.logBuffer().added();
    if (lines != logLines_) {
        logLines_ = lines;
        changed = changed || ui_.currentPage() == UIManager::Logs;
    }
    return changed;
}

ClientStatus toClientStatus(const ClientStatistics& statistics) {
    return ClientStatus{statistics.connected, statistics.clientName, statistics.clientAddress,
                        statistics.fps,       statistics.latencyMs,  statistics.bitrateMbps};
}

}  // namespace lumivane::host
