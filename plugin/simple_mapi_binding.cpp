#include "simple_mapi_binding.h"

#include <windows.h>

namespace zobrik {

namespace {
// Written only by the factory and the self-test, which the client never runs
// concurrently, and only before any channel worker can read it.
SimpleMapiBinding g_binding;
}  // namespace

bool BindSimpleMapi() noexcept {
    if (!g_binding.module) {
        // From the system directory only: a MAPI32.dll beside the client,
        // in the current directory, in a SetDllDirectory folder or on PATH
        // is never loaded, so no such copy can plant code in the client.
        g_binding.module = LoadLibraryExW(L"MAPI32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!g_binding.module) {
            return false;
        }
    }
    if (!g_binding.sendEntry) {
        auto module = static_cast<HMODULE>(g_binding.module);
        g_binding.sendEntry =
            reinterpret_cast<MapiSendMailWFunction>(reinterpret_cast<void*>(GetProcAddress(module, "MAPISendMailW")));
        if (!g_binding.sendEntry) {
            FreeLibrary(module);
            g_binding.module = nullptr;
            return false;
        }
    }
    return true;
}

MapiSendMailWFunction SimpleMapiSendEntry() noexcept { return g_binding.sendEntry; }

}  // namespace zobrik
