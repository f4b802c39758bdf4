// lumivane-ui-screenshot DIR [--connected]: draws each dashboard page with sample data
// and writes DIR/<page>.png. Needs an X display (DISPLAY) with OpenGL 3.

#include "core/Logging.h"
#include "ui/screenshot/SampleDashboard.h"
#include "ui/screenshot/UIRenderHarness.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

using namespace lumivane::host;

namespace {

constexpr const char* pageNames[] = {"dashboard", "streaming", "audio", "input", "settings", "logs", "about"};

int usage() {
    std::fprintf(stderr,
                 "usage: lumivane-ui-screenshot DIR [--connected]\n"
                 "Writes the seven dashboard pages as DIR/dashboard.png ... DIR/about.png,\n"
                 "drawn at 1400x900 with sample data. --connected shows a connected client.\n");
    return 2;
}

// Clicks the second window row, so the picture shows a streaming row as a user starts one.
void startSampleStream(UIRenderHarness& harness) {
    harness.renderFrames(2);
    const auto list = harness.findChild("WindowList");
    if (!list) return;
    const float rowTop = list->position.y + list->padding.y + 5 + 56 + 5;
    harness.click({list->position.x + 120, rowTop + 28});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return usage();
    const std::filesystem::path dir = argv[1];
    const bool connected = argc > 2 && std::strcmp(argv[2], "--connected") == 0;
    std::error_code error;
    std::filesystem::create_directories(dir, error);

    initLogging("LumivaneScreenshot", false, spdlog::level::info);
    auto harness = UIRenderHarness::create(1400, 900);
    if (!harness) {
        LV_ERROR("No OpenGL window: is DISPLAY set to an X server with GLX?");
        return 1;
    }
    UIManager& ui = harness->ui();
    fillSampleDashboard(ui);
    if (connected) ui.clientStatus = sampleConnectedClient();
    startSampleStream(*harness);

    int failures = 0;
    for (int page = 0; page < UIManager::PageCount; ++page) {
        ui.setCurrentPage(page);
        const std::string path = (dir / (std::string(pageNames[page]) + ".png")).string();
        if (harness->renderFrames().writePng(path)) {
            LV_INFO("Wrote {}", path);
        } else {
            LV_ERROR("Could not write {}", path);
            ++failures;
        }
    }
    harness.reset();
    shutdownLogging();
    return failures == 0 ? 0 : 1;
}
