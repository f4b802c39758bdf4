#pragma once
// The name discovery announces: the machine's own name.

#include <string>

namespace lumivane::host {

// The fixed text "Lumivane Host" when the system will not tell.
std::string machineHostName();

}  // namespace lumivane::host
