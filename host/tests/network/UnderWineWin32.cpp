#include "UnderWine.h"

#include <windows.h>

namespace lumivane::host::test {

// Wine's ntdll exports its version; Windows' does not.
bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace lumivane::host::test
