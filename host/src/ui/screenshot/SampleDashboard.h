#pragma once
// Plausible records for pictures of the dashboard before the host feeds it real ones.

#include "ui/UIManager.h"

namespace lumivane::host {

// A GPU, the software encoder, three windows (only the second one starts when clicked)
// and a few log lines of several levels.
void fillSampleDashboard(UIManager& ui);
// The status the entry shows while a client is connected.
ClientStatus sampleConnectedClient();

}  // namespace lumivane::host
