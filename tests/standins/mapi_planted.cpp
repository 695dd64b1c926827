// A MAPI32.dll that an attacker could plant beside the Remote Desktop client,
// in its current directory or in a DLL directory: the planting tests put
// copies of it there and check that the plug-in never loads one. Whenever it
// is loaded it says so on the debugger output and appends its own path to
// the file named by ZOBRIK_PLANTED_LOG, so that a load cannot go unseen. It
// exports MAPISendMailW, so a plug-in that loaded it would also bind it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "include/simple_mapi_types.h"
#include "include/win/owners.h"

namespace {

using FileHandle = zobrik::UniqueHandle;

// Appends "<path of this DLL>\n" (UTF-8) to the file named by ZOBRIK_PLANTED_LOG.
void LeaveMark(HINSTANCE instance) {
    wchar_t logPath[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(L"ZOBRIK_PLANTED_LOG", logPath, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) {
        return;
    }
    wchar_t self[MAX_PATH * 2];
    const DWORD selfLength = GetModuleFileNameW(instance, self, MAX_PATH * 2);
    char line[MAX_PATH * 8];
    int size = WideCharToMultiByte(CP_UTF8, 0, self, static_cast<int>(selfLength), line,
                                   static_cast<int>(sizeof(line)) - 1, nullptr, nullptr);
    line[size++] = '\n';
    FileHandle log(CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bool(log)) {
        return;
    }
    DWORD written = 0;
    WriteFile(log.Get(), line, static_cast<DWORD>(size), &written, nullptr);
}

}  // namespace

extern "C" {

// ULONG MAPISendMailW(ULONG_PTR lhSession, ULONG_PTR ulUIParam, MapiMessageW*, ULONG flFlags, ULONG ulReserved)
uint32_t ZOBRIK_WINAPI MAPISendMailW(uintptr_t, uintptr_t, zobrik::MapiMessageW*, uint32_t, uint32_t) {
    OutputDebugStringA("MAPI32 planted copy called\n");
    return 2;  // MAPI_E_FAILURE
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        OutputDebugStringA("MAPI32 planted copy attached\n");
        LeaveMark(instance);
    }
    return TRUE;
}

}  // extern "C"
