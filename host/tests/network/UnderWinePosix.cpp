#include "UnderWine.h"

namespace lumivane::host::test {

bool underWine() { return false; }

}  // namespace lumivane::host::test
