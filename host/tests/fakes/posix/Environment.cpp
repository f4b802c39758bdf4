#include "fakes/Environment.h"

#include <stdlib.h>
#include <unistd.h>

namespace lumivane::host {

std::optional<std::string> getEnvironmentVariable(const char* name) {
    const char* value = ::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void setEnvironmentVariable(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void unsetEnvironmentVariable(const char* name) { ::unsetenv(name); }

int currentProcessId() { return static_cast<int>(::getpid()); }

const char* settingsHomeVariable() { return "XDG_CONFIG_HOME"; }

}  // namespace lumivane::host
