// lumivane-dashboard-shots DIR: runs the host with test windows and a streaming reference
// client on the current X display, opens each dashboard page by clicking its sidebar
// button and writes what the host's window shows as DIR/<page>.png.

#include "DashboardActions.h"
#include "DashboardPicture.h"
#include "RunningHost.h"

#include "capture/WindowEnumerator.h"
#include "capture/WindowSystem.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

using namespace lumivane::host;

namespace {

constexpr const char* kPageNames[] = {"dashboard", "streaming", "audio", "input", "settings", "logs", "about"};

int usage() {
    std::fprintf(stderr,
                 "usage: lumivane-dashboard-shots DIR\n"
                 "Starts lumivane-host on $DISPLAY with three test windows, streams one of them with\n"
                 "lumivane-client (started from the dashboard first), and writes the seven pages as\n"
                 "DIR/dashboard.png ... DIR/about.png, clicked open and read from the host's window.\n");
    return 2;
}

// Starts the demo window's stream from its row, as a user would. The client's stream_start
// then takes the same stream id (both counters start at 1) and carries on with it, so the
// row and the status bar both tell the truth.
bool startRowStream(HostWindow& window, const std::string& title) {
    const auto listed = WindowEnumerator(WindowSystem::create()).enumerateWindows();
    std::size_t index = 0;
    while (index < listed.size() && listed[index].title != title) ++index;
    const auto picture = window.waitFor(
        [&](const Picture& p) {
            const auto list = dashboard::windowList(p);
            return list && dashboard::windowRows(p, *list).size() == listed.size();
        },
        dashboard::kScreenTimeout);
    if (!picture || index == listed.size()) return false;
    const auto list = *dashboard::windowList(*picture);
    const dashboard::Span row = dashboard::windowRows(*picture, list)[index];
    const dashboard::Point face = dashboard::rowFace(list, row);
    const dashboard::Box status = dashboard::rowStatus(list, row);
    return dashboard::clickAt(window, face.x + 200, face.y, dashboard::hoveredAt(face.x, face.y),
                              [&](const Picture& p) { return dashboard::countPixels(p, status, dashboard::isGreen) > 20; });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return usage();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::filesystem::path dir = argv[1];
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);

    std::string error;
    auto host = RunningHost::start(RunningHost::Programs::built(),
                                   {"Lumivane Demo", "Design Notes - Editor", "Media Player"}, error);
    if (!host) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!startRowStream(host->window(), "Lumivane Demo"))
        std::fprintf(stderr, "could not start a stream from the window list\n");
    if (!host->startClient("Lumivane Demo", error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    int failures = 0;
    for (int page = 0; page < 7; ++page) {
        const std::string path = (dir / (std::string(kPageNames[page]) + ".png")).string();
        const auto picture = dashboard::showPage(host->window(), page);
        if (picture && picture->writePng(path)) {
            std::printf("Wrote %s\n", path.c_str());
        } else {
            std::fprintf(stderr, "Could not show or write the %s page\n", kPageNames[page]);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
