#pragma once
// The dashboard: a sidebar with logo and navigation, the selected page and a status bar,
// drawn with Dear ImGui into the host's window. It never talks to the streaming side:
// edits and clicks leave through the three callbacks the entry module installs.
// Everything runs on the main thread except addLogEntry, which any thread may call.
//
// The pages are member functions defined in files of their own (DashboardPage.cpp,
// SettingsPages.cpp, LogsPage.cpp, AboutPage.cpp).

#include "core/WindowInfo.h"
#include "ui/LogBuffer.h"
#include "ui/UIBackend.h"
#include "ui/UIRecords.h"
#include "ui/WindowListModel.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ImFont;
struct ImGuiContext;

namespace lumivane::host {

class UIManager {
public:
    enum Page : std::int32_t { Dashboard = 0, Streaming, Audio, Input, Settings, Logs, About, PageCount };

    explicit UIManager(std::unique_ptr<UIBackend> backend);
    ~UIManager();
    UIManager(const UIManager&) = delete;
    UIManager& operator=(const UIManager&) = delete;

    // Context, fonts, theme, back end, logo. Idempotent; false only if the back end fails.
    bool initialize();
    // Back to the constructed state; records and callbacks stay.
    void shutdown();
    // One frame, between the entry's clear and its buffer swap. Nothing before initialize.
    void render();

    // The application's current windows; streaming state is kept per window id.
    void setWindowList(const std::vector<protocol::WindowInfo>& windows);
    // Any thread: time-stamps the line and appends it to the bounded log.
    void addLogEntry(int level, const std::string& line);

    std::int32_t currentPage() const { return currentPage_; }
    void setCurrentPage(std::int32_t page);
    const std::vector<WindowEntry>& windowEntries() const { return windowList_.entries(); }
    const std::string& localIpAddress() const { return localIpAddress_; }
    bool isInitialized() const { return initialized_; }
    const LogBuffer& logBuffer() const { return logs_; }

    // Written by the entry module on the main thread.
    UISettings uiSettings;
    SystemInfo systemInfo;
    ClientStatus clientStatus;
    std::function<void(const UISettings&)> onSettingsChanged;
    std::function<bool(std::uint32_t windowId, std::uint8_t streamId)> onStartCapture;
    std::function<void(std::uint8_t streamId)> onStopCapture;

private:
    void loadFonts();
    bool loadLogoTexture();
    void releaseLogo();

    void renderSidebar(float height);
    void renderNavButton(const char* label, std::int32_t page);
    void renderStatusBar(float width);
    void renderStatusValues(float width);
    void renderPage();

    void renderDashboard();
    void renderConnectionCard();
    void renderSystemCard();
    void renderWindowList();
    void renderWindowRow(std::size_t index, float rowWidth);
    void renderStreaming();
    void renderFrameRateButtons();
    void renderBitrateSlider();
    void renderAdvancedOptions();
    void renderAudio();
    void renderInput();
    void renderSettings();
    void renderLogs();
    void renderLogToolbar();
    void renderLogRows();
    void renderAbout();

    void settingsChanged();

    std::unique_ptr<UIBackend> backend_;
    ImGuiContext* context_ = nullptr;
    ImTextureID logoTexture_ = nullptr;
    int logoWidth_ = 0;
    int logoHeight_ = 0;
    ImFont* fontRegular_ = nullptr;
    ImFont* fontLarge_ = nullptr;
    ImFont* fontTitle_ = nullptr;
    std::int32_t currentPage_ = Dashboard;
    WindowListModel windowList_;
    std::string localIpAddress_ = "0.0.0.0";
    bool initialized_ = false;

    LogBuffer logs_;
    bool autoScroll_ = true;
    std::int32_t logLevelFilter_ = 0;

    // Shown on the Settings page; neither stored nor acted upon.
    bool startWithSystem_ = false;
    bool startMinimized_ = false;
};

}  // namespace lumivane::host
