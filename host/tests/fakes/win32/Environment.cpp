#include "fakes/Environment.h"

#include <process.h>
#include <stdlib.h>

namespace lumivane::host {

std::optional<std::string> getEnvironmentVariable(const char* name) {
    const char* value = ::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void setEnvironmentVariable(const char* name, const std::string& value) { ::_putenv_s(name, value.c_str()); }

// An empty value removes the variable.
void unsetEnvironmentVariable(const char* name) { ::_putenv_s(name, ""); }

int currentProcessId() { return ::_getpid(); }

const char* settingsHomeVariable() { return "LOCALAPPDATA"; }

}  // namespace lumivane::host
