#include "ui/screenshot/SampleDashboard.h"

#include <vector>

namespace lumivane::host {

void fillSampleDashboard(UIManager& ui) {
    ui.systemInfo = SystemInfo{"llvmpipe (LLVM 15.0.6, 256 bits)", 0, "Software", true};
    ui.uiSettings.microphoneEnabled = true;

    std::vector<protocol::WindowInfo> windows(3);
    windows[0].id = 0x2a00007;
    windows[0].title = "Design review - Notes";
    windows[0].processName = "notes";
    windows[1].id = 0x3c00011;
    windows[1].title = "Lumivane demo video - Media Player";
    windows[1].processName = "mediaplayer";
    windows[2].id = 0x4e00003;
    windows[2].title = "Terminal";
    windows[2].processName = "xterm";
    ui.setWindowList(windows);
    ui.onStartCapture = [](std::uint32_t windowId, std::uint8_t) { return windowId == 0x3c00011; };
    ui.setCurrentPage(UIManager::Dashboard);

    const char* lines[] = {
        "Logging initialized for LumivaneHost",
        "Signaling server started on port 9876",
        "Video transport server started on port 9944",
        "Client connected: Meta Quest",
        "Start capture requested for window 62914577 on stream 1",
        "Encoder bitrate lowered to 40000 kbps",
        "Captured window was closed",
        "Failed to start audio capture",
    };
    const int levels[] = {2, 2, 2, 2, 2, 3, 1, 4};
    for (std::size_t i = 0; i < std::size(lines); ++i) ui.addLogEntry(levels[i], lines[i]);
}

ClientStatus sampleConnectedClient() { return ClientStatus{true, "Meta Quest", "", 72, 18.0f, 50.0f}; }

}  // namespace lumivane::host
