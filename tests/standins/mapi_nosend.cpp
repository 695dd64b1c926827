// MAPI32 stand-in without MAPISendMailW: a Simple MAPI library that the
// plug-in can load but not bind. Its entry point announces attach and detach
// on the debugger output, so tests can see it being loaded and released.
#include <windows.h>

#include <cstdint>

extern "C" {

// ULONG MAPILogon(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword,
//                 FLAGS flFlags, ULONG ulReserved, LPLHANDLE lplhSession)
// Present so that the library looks like a Simple MAPI provider; refuses.
ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR, LPSTR, ULONG, ULONG, ULONG_PTR* session) {
    if (session != nullptr) {
        *session = 0;
    }
    return 26;  // MAPI_E_NOT_SUPPORTED
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        OutputDebugStringA("MAPI32 stand-in (no MAPISendMailW) attached\n");
    } else if (reason == DLL_PROCESS_DETACH) {
        OutputDebugStringA("MAPI32 stand-in (no MAPISendMailW) detached\n");
    }
    return TRUE;
}

}  // extern "C"
