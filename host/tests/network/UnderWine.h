#pragma once

namespace lumivane::host::test {

// Whether the test runs under Wine, whose sockets differ from Windows' in a few places.
bool underWine();

}  // namespace lumivane::host::test
