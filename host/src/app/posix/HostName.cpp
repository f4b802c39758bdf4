#include "app/HostName.h"

#include <unistd.h>

#include <climits>
#include <cstring>

namespace lumivane::host {

std::string machineHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    // A truncated name need not be terminated, hence the size one short of the buffer.
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "Lumivane Host";
    return name;
}

}  // namespace lumivane::host
