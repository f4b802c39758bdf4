#pragma once
// Connects the dashboard to the application for as long as it lives: the records the
// dashboard shows, the callbacks through which its edits and clicks reach the application,
// and the log lines it displays. Main thread only.

#include "app/ClientStatistics.h"
#include "core/Logging.h"
#include "core/WindowInfo.h"
#include "ui/UIRecords.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace lumivane::host {

class Application;
class UIManager;

class DashboardLink {
public:
    // `ui` is initialised; `sink` already sits in the logger. Routes the log into the
    // dashboard, fills its settings and system records and installs its three callbacks.
    // Both objects must outlive the link.
    DashboardLink(UIManager& ui, Application& application, std::shared_ptr<UISinkMt> sink);
    // Stops log lines reaching the dashboard; other threads may still be logging.
    ~DashboardLink();
    DashboardLink(const DashboardLink&) = delete;
    DashboardLink& operator=(const DashboardLink&) = delete;

    // Once per loop iteration: the measured client status and, when `fetchWindowList`, the
    // window list. True when anything the dashboard shows changed (new log lines count
    // while the log page is open), so that it needs drawing.
    bool refresh(bool fetchWindowList);

private:
    void attachLog();
    void fillSettings();
    void installCallbacks();
    void fillSystemInfo();

    UIManager& ui_;
    Application& application_;
    std::shared_ptr<UISinkMt> sink_;
    std::vector<protocol::WindowInfo> windows_;  // as last handed to the dashboard
    std::uint64_t logLines_ = 0;
};

ClientStatus toClientStatus(const ClientStatistics& statistics);

}  // namespace lumivane::host
