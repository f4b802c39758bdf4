#include "app/HostName.h"

#include <windows.h>

namespace lumivane::host {

std::string machineHostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size) || size == 0) return "Lumivane Host";
    return std::string(name, size);
}

}  // namespace lumivane::host
