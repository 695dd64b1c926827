// The DLL entry point and the registration exports, which do nothing: the
// plug-in is made known to the Remote Desktop client by its installer.
#include <windows.h>

#include "idle_sweep_timer.h"
#include "include/debug_output.h"
#include "mail/win/attachment_staging.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            zobrik::DebugOutput(L"Zobrik WTS DVC plugin loaded\n");
            break;
        case DLL_PROCESS_DETACH:
            zobrik::DebugOutput(L"Zobrik WTS DVC plugin unloading\n");
            // Attachments kept for compose windows that stayed open leave with
            // the plug-in.
            zobrik::RemoveKeptStagingAreas(reserved != nullptr);
            zobrik::StopIdleSweep(reserved != nullptr);
            break;
        default:
            break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL, LPCWSTR) { return S_OK; }
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return S_OK; }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return S_OK; }
