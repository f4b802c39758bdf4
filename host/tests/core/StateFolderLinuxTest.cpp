#include "core/Logging.h"
#include "core/StateFolder.h"

#include "fakes/Environment.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

TEST(StateFolderLinuxTest, LogFolderFollowsXdgThenHome) {
    SavedEnvironment saved({"LOCALAPPDATA", "XDG_STATE_HOME", "HOME"});
    for (const char* name : {"LOCALAPPDATA", "XDG_STATE_HOME", "HOME"}) unsetEnvironmentVariable(name);
    EXPECT_EQ(logDirectory(), "logs");
    setEnvironmentVariable("HOME", "/home/u");
    EXPECT_EQ(logDirectory(), "/home/u/.local/state/Lumivane/logs");
    setEnvironmentVariable("XDG_STATE_HOME", "/state");
    EXPECT_EQ(logDirectory(), "/state/Lumivane/logs");
    setEnvironmentVariable("LOCALAPPDATA", "/local");
    EXPECT_EQ(logDirectory(), "/local/Lumivane/logs");
}

}  // namespace
}  // namespace lumivane::host
