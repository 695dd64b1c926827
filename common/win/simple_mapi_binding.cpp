#include "include/win/simple_mapi_binding.h"

#include <windows.h>

#include "include/win/owners.h"

namespace zobrik {

namespace {
// Written only by the factory and the self-test, which the client never runs
// concurrently, and only before any channel worker can read it.
SimpleMapiBinding g_binding;
}  // namespace

bool BindSimpleMapi() noexcept {
    if (g_binding.sendEntry) {
        return true;
    }
    // From the system directory only: a MAPI32.dll beside the client, in the
    // current directory, in a SetDllDirectory folder or on PATH is never
    // loaded, so no such copy can plant code in the client.
    UniqueModule module(LoadLibraryExW(L"MAPI32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!module) {
        return false;
    }
    const auto sendEntry =
        reinterpret_cast<MapiSendMailWFunction>(reinterpret_cast<void*>(GetProcAddress(module.Get(), "MAPISendMailW")));
    if (!sendEntry) {
        return false;  // the module goes again
    }
    // Kept for the life of the process.
    g_binding.module = module.Release();
    g_binding.sendEntry = sendEntry;
    return true;
}

MapiSendMailWFunction SimpleMapiSendEntry() noexcept { return g_binding.sendEntry; }

}  // namespace zobrik
