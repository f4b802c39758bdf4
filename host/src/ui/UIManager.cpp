#include "ui/UIManager.h"

#include "core/Logging.h"
#include "ui/LocalIpAddress.h"
#include "ui/LogoImage.h"
#include "ui/Palette.h"
#include "ui/Theme.h"
#include "ui/Widgets.h"

#include <fmt/format.h>
#include <imgui.h>

#include <algorithm>
#include <fstream>
#include <vector>

namespace lumivane::host {
namespace {

constexpr float sidebarWidth = 260;
constexpr float statusBarHeight = 56;

bool isReadable(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

}  // namespace

UIManager::UIManager(std::unique_ptr<UIBackend> backend) : backend_(std::move(backend)) {}

UIManager::~UIManager() { shutdown(); }

bool UIManager::initialize() {
    if (initialized_) return true;
    localIpAddress_ = detectLocalIpAddress(localIpAddress_);

    IMGUI_CHECKVERSION();
    context_ = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    io.IniFilename = nullptr;
    loadFonts();
    applyTheme(ImGui::GetStyle());

    if (!backend_->init()) {
        LV_ERROR("Failed to initialize the dashboard's window and renderer back ends");
        ImGui::DestroyContext(context_);
        context_ = nullptr;
        return false;
    }
    loadLogoTexture();
    initialized_ = true;
    LV_INFO("UI Manager initialized with Lumivane purple theme");
    return true;
}

void UIManager::shutdown() {
    if (!initialized_) return;
    ImGui::SetCurrentContext(context_);
    releaseLogo();
    backend_->shutdown();
    ImGui::DestroyContext(context_);
    context_ = nullptr;
    fontRegular_ = fontLarge_ = fontTitle_ = nullptr;
    initialized_ = false;
}

void UIManager::loadFonts() {
    ImGuiIO& io = ImGui::GetIO();
    ImFontConfig config;
    config.OversampleH = 3;
    config.OversampleV = 2;
    config.PixelSnapH = true;
    for (const std::string& path : backend_->fontCandidates()) {
        // The library asserts on a missing file, so look first.
        if (!isReadable(path)) continue;
        fontRegular_ = io.Fonts->AddFontFromFileTTF(path.c_str(), 18.0f, &config);
        if (!fontRegular_) continue;
        fontLarge_ = io.Fonts->AddFontFromFileTTF(path.c_str(), 24.0f, &config);
        fontTitle_ = io.Fonts->AddFontFromFileTTF(path.c_str(), 32.0f, &config);
        LV_DEBUG("Dashboard font: {}", path);
        break;
    }
    if (!fontRegular_) {
        fontRegular_ = io.Fonts->AddFontDefault();
        fontLarge_ = fontTitle_ = fontRegular_;
    }
    io.Fonts->Build();
}

bool UIManager::loadLogoTexture() {
    std::optional<LogoImage> image = LogoImage::load("assets/logo.png");
    if (!image) {
        const std::string fallback = backend_->logoFallbackPath();
        image = LogoImage::load(fallback);
        if (!image) {
            LV_WARN("Failed to load logo texture from: {}", fallback);
            return false;
        }
    }
    ImTextureID texture = backend_->createTexture(image->pixels(), image->width(), image->height());
    if (!texture) {
        LV_ERROR("Failed to create logo texture");
        return false;
    }
    releaseLogo();
    logoTexture_ = texture;
    logoWidth_ = image->width();
    logoHeight_ = image->height();
    LV_INFO("Loaded logo texture: {}x{}", logoWidth_, logoHeight_);
    return true;
}

void UIManager::releaseLogo() {
    if (logoTexture_) backend_->destroyTexture(logoTexture_);
    logoTexture_ = nullptr;
    logoWidth_ = logoHeight_ = 0;
}

void UIManager::setCurrentPage(std::int32_t page) {
    if (page >= 0 && page < PageCount) currentPage_ = page;
}

void UIManager::setWindowList(const std::vector<protocol::WindowInfo>& windows) { windowList_.setWindowList(windows); }

void UIManager::addLogEntry(int level, const std::string& line) { logs_.add(level, line); }

void UIManager::settingsChanged() {
    if (onSettingsChanged) onSettingsChanged(uiSettings);
}

void UIManager::render() {
    if (!initialized_) return;
    ImGui::SetCurrentContext(context_);
    backend_->newFrame();
    ImGui::NewFrame();

    const ImVec2 size = ImGui::GetIO().DisplaySize;
    const float contentHeight = size.y - statusBarHeight;
    ImGui::SetNextWindowPos({0, 0});
    ImGui::SetNextWindowSize(size);
    constexpr ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                       ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                       ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoBringToFrontOnFocus;
    {
        widgets::StyleVar padding(ImGuiStyleVar_WindowPadding, ImVec2{0, 0});
        widgets::StyleColours background({{ImGuiCol_WindowBg, palette::background}});
        ImGui::Begin("Lumivane Host", nullptr, flags);
    }
    renderSidebar(contentHeight);
    ImGui::SameLine(0, 0);
    ImGui::BeginChild("Content", {size.x - sidebarWidth, contentHeight});
    // Indented rather than only placed, so every line of the page starts 30 px in.
    ImGui::SetCursorPosY(25);
    ImGui::Indent(30);
    renderPage();
    ImGui::Unindent(30);
    ImGui::EndChild();
    ImGui::SetCursorPos({0, contentHeight});
    renderStatusBar(size.x);
    ImGui::End();

    ImGui::Render();
    backend_->renderDrawData(ImGui::GetDrawData());
}

void UIManager::renderPage() {
    switch (currentPage_) {
    case Dashboard: renderDashboard(); break;
    case Streaming: renderStreaming(); break;
    case Audio: renderAudio(); break;
    case Input: renderInput(); break;
    case Settings: renderSettings(); break;
    case Logs: renderLogs(); break;
    case About: renderAbout(); break;
    default: break;
    }
}

void UIManager::renderSidebar(float height) {
    widgets::StyleColours background({{ImGuiCol_ChildBg, palette::sidebarBackground}});
    ImGui::BeginChild("Sidebar", {sidebarWidth, height}, false, ImGuiWindowFlags_NoScrollbar);

    ImGui::BeginChild("LogoArea", {sidebarWidth, 140}, false, ImGuiWindowFlags_NoScrollbar);
    widgets::verticalSpace(25);
    if (logoTexture_) {
        ImGui::SetCursorPosX((sidebarWidth - 60) / 2);
        ImGui::Image(logoTexture_, {60, 60});
    }
    widgets::verticalSpace(10);
    {
        widgets::FontScope font(fontTitle_);
        const char* brand = "LUMIVANE";
        ImGui::SetCursorPosX((sidebarWidth - ImGui::CalcTextSize(brand).x) / 2);
        widgets::text(palette::primaryLight, brand);
    }
    ImGui::EndChild();

    widgets::verticalSpace(10);
    widgets::gradientBar(20, 220, 2, IM_COL32(115, 89, 230, 100), IM_COL32(140, 102, 250, 100));
    widgets::verticalSpace(25);
    static constexpr const char* labels[] = {"  Dashboard", "  Streaming", "  Audio", "  Input", "  Settings", "  Logs"};
    for (std::int32_t page = Dashboard; page <= Logs; ++page) renderNavButton(labels[page], page);

    const float bottomArea = height - 80;
    if (ImGui::GetCursorPosY() < bottomArea) ImGui::SetCursorPosY(bottomArea);
    widgets::gradientBar(20, 220, 1, IM_COL32(50, 50, 80, 150), IM_COL32(80, 60, 120, 150));
    widgets::verticalSpace(15);
    renderNavButton("  About", About);
    ImGui::EndChild();
}

void UIManager::renderNavButton(const char* label, std::int32_t page) {
    const bool selected = currentPage_ == page;
    widgets::StyleColours colours({
        {ImGuiCol_Button, selected ? palette::primary : palette::transparent},
        {ImGuiCol_ButtonHovered, selected ? palette::primaryLight : palette::hover},
        {ImGuiCol_Text, selected ? palette::text : palette::textSecondary},
    });
    widgets::StyleVar align(ImGuiStyleVar_ButtonTextAlign, ImVec2{0.0f, 0.5f});
    widgets::FontScope font(fontLarge_);
    ImGui::SetCursorPosX(15);
    if (ImGui::Button(label, {230, 48})) currentPage_ = page;
    widgets::verticalSpace(4);
}

void UIManager::renderStatusBar(float width) {
    widgets::StyleColours background({{ImGuiCol_ChildBg, palette::sidebarBackground}});
    ImGui::BeginChild("StatusBar", {width, statusBarHeight}, false, ImGuiWindowFlags_NoScrollbar);
    ImGui::SetCursorPos({25, 18});
    const bool connected = clientStatus.connected;
    widgets::statusDot(connected ? IM_COL32(77, 217, 140, 255) : IM_COL32(115, 115, 140, 255));
    ImGui::SetCursorPos({25 + 20, 18});
    if (connected) {
        ImGui::TextColored(palette::success, "Connected to %s", clientStatus.clientName.c_str());
    } else {
        widgets::text(palette::textDim, "Waiting for client...");
    }
    renderStatusValues(width);
    ImGui::EndChild();
}

void UIManager::renderStatusValues(float width) {
    const bool connected = clientStatus.connected;
    struct Pair {
        const char* label;
        std::string value;
        ImVec4 colour;
    };
    std::vector<Pair> pairs;
    if (connected) {
        pairs = {{"FPS:", std::to_string(clientStatus.fps), palette::text},
                 {"Latency:", fmt::format("{:.1f} ms", clientStatus.latencyMs), palette::text},
                 {"Bitrate:", fmt::format("{:.1f} Mbps", clientStatus.bitrateMbps), palette::text}};
    } else {
        const std::string& encoder = systemInfo.encoderName;
        pairs = {{"Encoder:", encoder, widgets::isMissingEncoder(encoder) ? palette::warning : palette::success}};
    }
    constexpr float gap = 25;
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    float groupWidth = -gap;
    for (const Pair& pair : pairs)
        groupWidth += ImGui::CalcTextSize(pair.label).x + spacing + ImGui::CalcTextSize(pair.value.c_str()).x + gap;
    // 400 px from the right edge, further left if a wider font would push it off the bar.
    ImGui::SetCursorPos({std::min(width - 400, width - gap - groupWidth), 18});
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0) ImGui::SameLine(0, gap);
        widgets::text(palette::textSecondary, pairs[i].label);
        ImGui::SameLine();
        widgets::text(pairs[i].colour, pairs[i].value);
    }
}

}  // namespace lumivane::host
